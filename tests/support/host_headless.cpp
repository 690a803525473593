#include "tests/support/host_headless.h"

#include <cstring>
#include <map>

#include "app/host.h"
#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"
#include "sequencer/sequencer.h"

namespace {

struct HeadlessHost {
    std::map<int, std::string> panes;
    TTYINFO* record = nullptr;
    bool timer = false;
    int timer_starts = 0;
    std::vector<std::string> boxes;
    std::function<void(int)> param_handler;
    std::function<void(TTYINFO*)> settings_handler;
    std::deque<std::string> file_choices;
    int about = 0;
    int close_posted = 0;
    std::vector<int> dialogs;
};

HeadlessHost& host() {
    static HeadlessHost h;
    return h;
}

}  // namespace

void PaneAppend(int pane, const char* text) { host().panes[pane] += text; }

void PanePrependLine(int pane, const char* text) {
    std::string& p = host().panes[pane];
    p = std::string(text) + "\r\n" + p;
}

void PaneSetText(int pane, const char* text) { host().panes[pane] = text; }

int PaneGetText(int pane, char* buffer, int cap) {
    const std::string& p = host().panes[pane];
    int n = static_cast<int>(p.size());
    if (n > cap - 1) n = cap - 1;
    std::memcpy(buffer, p.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

TTYINFO* GETNPTTYINFO() { return host().record; }
void HostSetPortRecord(TTYINFO* tty) { host().record = tty; }

void HostStartTimer() {
    host().timer = true;
    ++host().timer_starts;
}
void HostStopTimer() { host().timer = false; }

void HostMessageBox(const char* text) { host().boxes.emplace_back(text); }
void HostPostClose() { ++host().close_posted; }
void HostShowAbout() {
    ++host().about;
    host().dialogs.push_back(IDD_ABOUT);
}

void HostShowSettingsDialog(TTYINFO* tty) {
    host().dialogs.push_back(IDD_SETTINGS);
    if (host().settings_handler) host().settings_handler(tty);
}

void HostShowParamDialog(int dialog_id, TTYINFO*) {
    host().dialogs.push_back(dialog_id);
    if (host().param_handler)
        host().param_handler(dialog_id);
    else
        CancelParamDialog();
}

int HostChooseImageFile(char* path, int cap) {
    path[0] = '\0';
    if (host().file_choices.empty()) return 0;
    std::string choice = host().file_choices.front();
    host().file_choices.pop_front();
    if (choice.empty() || static_cast<int>(choice.size()) >= cap) return 0;
    std::memcpy(path, choice.c_str(), choice.size() + 1);
    return 1;
}

namespace headless {

void Reset() {
    host() = HeadlessHost{};
}

std::string Pane(int pane) { return host().panes[pane]; }
void SetPane(int pane, const std::string& text) { host().panes[pane] = text; }

bool TimerRunning() { return host().timer; }
int TimerStarts() { return host().timer_starts; }

int Tick(int count) {
    int ran = 0;
    for (int i = 0; i < count && host().timer; ++i) {
        SequencerTick(TIMER_SEQ);
        ++ran;
    }
    return ran;
}

int TickUntilStopped(int limit) { return Tick(limit); }

const std::vector<std::string>& MessageBoxes() { return host().boxes; }

void OnParamDialog(std::function<void(int)> handler) { host().param_handler = std::move(handler); }
void OnSettingsDialog(std::function<void(TTYINFO*)> handler) { host().settings_handler = std::move(handler); }
void QueueFileChoice(const std::string& path) { host().file_choices.push_back(path); }

int AboutShown() { return host().about; }
int ClosePosted() { return host().close_posted; }
const std::vector<int>& DialogsOpened() { return host().dialogs; }

}  // namespace headless
