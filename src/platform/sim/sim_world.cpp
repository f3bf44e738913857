#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sim {

String foldCase(const String& s) {
    String out = s;
    for (auto& c : out) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F))
            c = static_cast<char16_t>(c + 0x20);
        else if (c >= 0x400 && c <= 0x40F)
            c = static_cast<char16_t>(c + 0x50);
    }
    return out;
}

String spelledForEnumeration(const String& path, DevicePathSpelling spelling) {
    if (spelling == DevicePathSpelling::Legacy)
        return path;
    String out = path;
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

String spelledForNotification(const String& path, DevicePathSpelling spelling) {
    if (spelling == DevicePathSpelling::Legacy)
        return path;
    // The device part runs to the second '#': "\\?\HID#VID_0B7A&PID_0100&MI_03&COL01"; the
    // instance and the class GUID after it stay as they are.
    String out = path;
    const std::size_t first = out.find(u'#');
    const std::size_t end = first == String::npos ? out.size() : out.find(u'#', first + 1);
    for (std::size_t i = 0; i < out.size() && i < end; ++i)
        if (out[i] >= u'a' && out[i] <= u'z')
            out[i] = static_cast<char16_t>(out[i] - u'a' + u'A');
    return out;
}

std::string narrow(const String& s) {
    return plat::toUtf8(s);
}

bool splitPath(const String& path, std::vector<String>& parts) {
    parts.clear();
    String part;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (part.empty() && i != path.size())
                return false; // leading or doubled backslash
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return true;
}

std::string messageName(std::uint32_t msg) {
    switch (msg) {
    case WM_DESTROY:
        return "WM_DESTROY";
    case WM_SETTEXT:
        return "WM_SETTEXT";
    case WM_GETTEXT:
        return "WM_GETTEXT";
    case WM_PAINT:
        return "WM_PAINT";
    case WM_CLOSE:
        return "WM_CLOSE";
    case WM_QUERYENDSESSION:
        return "WM_QUERYENDSESSION";
    case WM_ENDSESSION:
        return "WM_ENDSESSION";
    case WM_SETICON:
        return "WM_SETICON";
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_INITDIALOG:
        return "WM_INITDIALOG";
    case WM_COMMAND:
        return "WM_COMMAND";
    case WM_TIMER:
        return "WM_TIMER";
    case WM_LBUTTONDOWN:
        return "WM_LBUTTONDOWN";
    case WM_LBUTTONDBLCLK:
        return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN:
        return "WM_RBUTTONDOWN";
    case WM_RBUTTONDBLCLK:
        return "WM_RBUTTONDBLCLK";
    case WM_DEVICECHANGE:
        return "WM_DEVICECHANGE";
    case WM_APPCOMMAND:
        return "WM_APPCOMMAND";
    default:
        break;
    }
    if (msg >= WM_USER && msg < 0x8000)
        return msg == WM_USER ? "WM_USER" : "WM_USER+" + std::to_string(msg - WM_USER);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", msg);
    return buf;
}

std::string messageText(std::uint32_t msg, WParam wParam, LParam lParam) {
    std::string s = messageName(msg);
    if (wParam != 0 || lParam != 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, " (wParam %llu, lParam 0x%llX)",
                      static_cast<unsigned long long>(wParam),
                      static_cast<unsigned long long>(lParam));
        s += buf;
    }
    return s;
}

// ==================================================================== construction

SimPc::Impl::Impl() {
    registryPort = makeRegistryPort(*this);
    filesPort = makeFilesPort(*this);
    foldersPort = makeFoldersPort(*this);
    threadsPort = makeThreadsPort(*this);
    desktopPort = makeDesktopPort(*this);
    uiPort = makeUiPort(*this);
    resourcesPort = makeResourcesPort(*this);
    hidPort = makeHidPort(*this);
    audioPort = makeAudioPort(*this);
    processesPort = makeProcessesPort(*this);
}

SimPc::Impl::~Impl() = default;

// ==================================================================== failures, journal

void SimPc::Impl::fail(Lock& lk, const std::string& message) {
    failures.push_back(message);
    auto handler = failureHandler;
    lk.unlock();
    if (handler)
        handler(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
    lk.lock();
}

void SimPc::Impl::journal(std::string line) {
    journalLines.push_back(std::move(line));
}

} // namespace sim
