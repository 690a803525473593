// Test control of the headless host: pane texts as strings, the sequencer
// timer as a flag that the test turns into ticks, and answers for the
// dialogs and the file choice set in advance.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct TTYINFO;

namespace headless {

// Forgets every pane text, message box, dialog answer and the port record.
void Reset();

std::string Pane(int pane);
void SetPane(int pane, const std::string& text);

bool TimerRunning();
int TimerStarts();  // how often the timer was started since Reset

// Runs `count` timer ticks (SequencerTick with TIMER_SEQ) while the timer
// runs; returns the number of ticks actually run.
int Tick(int count = 1);
// Ticks until the timer stops or `limit` ticks have run; returns the count.
int TickUntilStopped(int limit);

// Message boxes shown, in order.
const std::vector<std::string>& MessageBoxes();

// Called when a modal dialog opens. A parameter dialog's handler fills
// DialogResult (or leaves it); the settings handler may edit the record.
// Without a handler a parameter dialog behaves like Cancel.
void OnParamDialog(std::function<void(int dialog_id)> handler);
void OnSettingsDialog(std::function<void(TTYINFO*)> handler);
// Answers for the image file choice: a path to choose, or "" for Cancel.
void QueueFileChoice(const std::string& path);

int AboutShown();
int ClosePosted();
// The dialogs opened so far, by template id, in order.
const std::vector<int>& DialogsOpened();

}  // namespace headless
