#include "AboutDlgBox.h"

#include "Application.h"
#include "Controls.h"
#include "Debug.h"
#include "Globals.h"
#include "resource.h"
#include "text.h"

#include <array>

namespace {

constexpr std::array<std::u16string_view, 12> months = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

// The text before the first `c`, and after it; (empty, all) when there is none.
std::u16string_view before(std::u16string_view text, char16_t c) {
    const auto at = text.find(c);
    return at == std::u16string_view::npos ? std::u16string_view() : text.substr(0, at);
}

std::u16string_view after(std::u16string_view text, char16_t c) {
    const auto at = text.find(c);
    return at == std::u16string_view::npos ? text : text.substr(at + 1);
}

} // namespace

plat::String firmwareLineFor(std::u16string_view prefix, std::u16string_view version) {
    plat::String line(prefix);
    line += before(version, u':');
    std::u16string_view rest = after(version, u':');
    const std::u16string_view month = before(rest, u' ');
    for (std::size_t m = 0; m < months.size(); ++m)
        if (month == months[m]) {
            line = plat::formatText(u"%s\t  %02d/", {line, static_cast<int>(m + 1)});
            break;
        }
    rest = after(rest, u' ');
    line += before(rest, u' ');
    line += u'/';
    line += after(rest, u' ');
    return line;
}

AboutDlgBox::AboutDlgBox(plat::Hwnd parent) : fw::Dialog(IDD_ABOUTBOX, parent) {}

void AboutDlgBox::DoDataExchange(bool saveAndValidate) {
    traceEntry(u"AboutDlgBox::DoDataExchange");
    fw::Dialog::DoDataExchange(saveAndValidate);
    const plat::String version = globals().firmwareVersion.get();
    if (!version.empty())
        firmwareLine = firmwareLineFor(fw::loadString(IDS_FIRMWARE_PREFIX), version);
    fw::Control line(window(), IDC_FIRMWARE_LINE);
    if (saveAndValidate)
        firmwareLine = line.text();
    else
        line.setText(firmwareLine);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_ABOUT_TITLE));
    traceExit(u"AboutDlgBox::DoDataExchange");
}
