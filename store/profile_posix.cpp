// The user's profile as an INI file (see paths_posix.cpp for where it lies).
// Section and key names compare without regard to case; blanks around keys
// and values are not part of them; a value in matching quotes loses them.
// A write changes only the line of its key: every other line, comment and
// line end stays byte for byte.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "store/paths.h"
#include "store/profile.h"

namespace {

struct IniLine {
    std::string text;  // without the line end
    std::string eol;   // "\r\n", "\n" or "" for a last line without one
};

std::vector<IniLine> ReadLines(const char* path) {
    std::vector<IniLine> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) return lines;
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    while (pos < all.size()) {
        size_t nl = all.find('\n', pos);
        IniLine line;
        if (nl == std::string::npos) {
            line.text = all.substr(pos);
            pos = all.size();
        } else {
            line.text = all.substr(pos, nl - pos);
            line.eol = "\n";
            pos = nl + 1;
        }
        if (!line.eol.empty() && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.eol = "\r\n";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The section name of a "[name]" line; false for any other line.
bool SectionOf(const std::string& text, std::string* name) {
    std::string t = Trim(text);
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.find(']');
    *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// Key and value of a "key=value" line; false for any other line.
bool EntryOf(const std::string& text, std::string* key, std::string* value) {
    size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(text.substr(0, eq));
    *value = Trim(text.substr(eq + 1));
    if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
        value->back() == value->front())
        *value = value->substr(1, value->size() - 2);
    return true;
}

// Lines [first, end) of the first section called `section`; first is the
// header's index. false when the section is missing.
bool FindSection(const std::vector<IniLine>& lines, const char* section, size_t* first, size_t* end) {
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionOf(lines[i].text, &name) || !SameName(name, section)) continue;
        size_t j = i + 1;
        while (j < lines.size() && !SectionOf(lines[j].text, &name)) ++j;
        *first = i;
        *end = j;
        return true;
    }
    return false;
}

bool FindKey(const std::vector<IniLine>& lines, size_t first, size_t end, const char* key, size_t* at,
             std::string* value) {
    std::string k, v;
    for (size_t i = first + 1; i < end; ++i) {
        if (EntryOf(lines[i].text, &k, &v) && SameName(k, key)) {
            *at = i;
            if (value != nullptr) *value = v;
            return true;
        }
    }
    return false;
}

// Written beside the profile and renamed over it, so a failed write never
// leaves a half-written profile behind.
bool WriteLines(const char* path, const std::vector<IniLine>& lines) {
    std::error_code ec;
    std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::string temp = std::string(path) + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const IniLine& line : lines) out << line.text << line.eol;
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int ProfileGetString(const char* section, const char* key, const char* fallback, char* out, int cap) {
    if (out == nullptr || cap <= 0) return 0;
    std::vector<IniLine> lines = ReadLines(ProfileFilePath());
    std::string value = fallback != nullptr ? fallback : "";
    size_t first = 0, end = 0, at = 0;
    if (section != nullptr && key != nullptr && FindSection(lines, section, &first, &end))
        FindKey(lines, first, end, key, &at, &value);
    size_t n = value.size();
    if (n > static_cast<size_t>(cap - 1)) n = static_cast<size_t>(cap - 1);
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return static_cast<int>(n);
}

bool ProfileSetString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr) return false;
    const char* path = ProfileFilePath();
    std::vector<IniLine> lines = ReadLines(path);

    // New lines follow the file's own line ends; a new file gets CR LF.
    std::string eol = "\r\n";
    for (const IniLine& line : lines) {
        if (!line.eol.empty()) {
            eol = line.eol;
            break;
        }
    }
    const std::string entry = std::string(key) + "=" + (value != nullptr ? value : "");

    size_t first = 0, end = 0, at = 0;
    if (FindSection(lines, section, &first, &end)) {
        if (FindKey(lines, first, end, key, &at, nullptr)) {
            if (value == nullptr)
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
            else
                lines[at].text = entry;
        } else {
            if (value == nullptr) return true;
            // Behind the section's last entry, before the blank lines that
            // separate it from the next section.
            size_t insert = end;
            while (insert > first + 1 && Trim(lines[insert - 1].text).empty()) --insert;
            if (lines[insert - 1].eol.empty()) lines[insert - 1].eol = eol;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), IniLine{entry, eol});
        }
    } else {
        if (value == nullptr) return true;
        if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
        lines.push_back(IniLine{"[" + std::string(section) + "]", eol});
        lines.push_back(IniLine{entry, eol});
    }
    return WriteLines(path, lines);
}
