// How a person names what the simulated screen shows: labels without their accelerators,
// one-line texts for the journal, and the buttons of each message-box style.
#include "sim_ui_shared.h"

#include "text.h"

namespace sim {

String withoutAccelerators(const String& text) {
    String out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\t')
            break; // "E&xit\tAlt+X": the shortcut is not part of the name
        if (text[i] == u'&' && i + 1 < text.size() && text[i + 1] != u'&')
            continue;
        if (text[i] == u'&')
            ++i;
        out += text[i];
    }
    return out;
}

// A person names an item or a button by what it shows: "R&&B Room" is "R&B Room", and
// "R&B Room" is shown as "RB Room" (the B underlined).
bool sameLabel(const String& shown, const String& wanted) {
    return withoutAccelerators(shown) == wanted;
}

std::string oneLine(const String& text) {
    std::string out;
    for (char c : narrow(text)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

const char* kindName(ModalKind kind) {
    switch (kind) {
    case ModalKind::MessageBox:
        return "message box";
    case ModalKind::Dialog:
        return "dialog";
    case ModalKind::PropertySheet:
        return "property sheet";
    case ModalKind::PopupMenu:
        return "popup menu";
    }
    return "modal";
}

bool matches(const ScriptEntry& e, const ModalView& v) {
    if (e.kind != v.kind)
        return false;
    if (e.caption && *e.caption != v.caption)
        return false;
    if (e.text && *e.text != v.text)
        return false;
    if (e.templateId && *e.templateId != v.templateId)
        return false;
    return true;
}

String displayClass(const String& cls) {
    const String f = foldCase(cls);
    if (f == u"button")
        return u"Button";
    if (f == u"edit")
        return u"Edit";
    if (f == u"static")
        return u"Static";
    if (f == u"listbox")
        return u"ListBox";
    if (f == u"combobox")
        return u"ComboBox";
    return cls;
}

std::vector<ButtonSpec> boxButtons(std::uint32_t style) {
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case 2:
        return {{IDABORT, u"Abort"}, {win::kIdRetry, u"Retry"}, {win::kIdIgnore, u"Ignore"}};
    case 3:
        return {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"Yes"}, {IDNO, u"No"}};
    case 5:
        return {{win::kIdRetry, u"Retry"}, {IDCANCEL, u"Cancel"}};
    case 6:
        return {{IDCANCEL, u"Cancel"},
                {win::kIdTryAgain, u"Try Again"},
                {win::kIdContinue, u"Continue"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

} // namespace sim
