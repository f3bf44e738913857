// Property sheets as PropertySheetW runs them: a modal sheet with a tab per page, OK, Cancel,
// Apply and Help; each page a child dialog created from its template the first time it is
// shown; the pages told what happens through WM_NOTIFY (PSN_SETACTIVE, PSN_KILLACTIVE,
// PSN_APPLY, PSN_QUERYCANCEL, PSN_RESET, PSN_HELP), and allowed to refuse a change of page or
// the closing of the sheet through their result.
#include "sim_world.h"

#include <algorithm>

namespace sim {

LResult SimPc::Impl::notifyPage(Hwnd sheet, Hwnd page, std::uint32_t code, LParam extra) {
    plat::NotifyInfo notice;
    notice.from = sheet;
    notice.code = code;
    notice.lParam = extra;
    return callWindowProc(page, win::kWmNotify, 0, reinterpret_cast<LParam>(&notice));
}

bool SimPc::Impl::selectPage(Hwnd sheet, int index, bool mayRefuse) {
    Hwnd old = 0;
    Hwnd page = 0;
    Hwnd focus = 0;
    {
        Lock lk(m);
        const Window* s = window(sheet);
        if (!s || !s->sheet || index < 0 ||
            static_cast<std::size_t>(index) >= s->sheet->pages.size())
            return false;
        if (index == s->sheet->current)
            return true;
        if (s->sheet->current >= 0)
            old = s->sheet->pages[static_cast<std::size_t>(s->sheet->current)].hwnd;
    }
    // The page being left may keep the focus (its data does not validate, for instance).
    if (old && notifyPage(sheet, old, win::kPsnKillActive, 0) != 0 && mayRefuse)
        return false;
    bool created = false;
    {
        Lock lk(m);
        Window* s = window(sheet);
        if (!s || !s->sheet)
            return false;
        SheetPage& p = s->sheet->pages[static_cast<std::size_t>(index)];
        if (!p.hwnd) {
            p.hwnd = createDialogWindow(p.layout, p.templateId, sheet, true, current(lk), p.target,
                                        focus, p.module);
            created = true;
        }
        page = p.hwnd;
    }
    if (created)
        callWindowProc(page, WM_INITDIALOG, focus, 0);
    {
        Lock lk(m);
        Window* s = window(sheet);
        if (!s || !s->sheet)
            return false;
        s->sheet->current = index;
        if (Window* tab = window(s->sheet->tab))
            tab->selection = index;
    }
    return showPage(sheet, old, page);
}

bool SimPc::Impl::showPage(Hwnd sheet, Hwnd old, Hwnd page) {
    // The page hears that it becomes active while it is still hidden (and the page it
    // replaces still shown); only then does the sheet swap them.
    notifyPage(sheet, page, win::kPsnSetActive, 0);
    Lock lk(m);
    if (!window(sheet))
        return false;
    if (Window* o = window(old))
        o->visible = false;
    Window* p = window(page);
    if (!p)
        return false;
    p->visible = true;
    journal("page shown: [" + narrow(p->title) + "] (template " + std::to_string(p->templateId) +
            ")");
    return true;
}

bool SimPc::Impl::applyPages(Hwnd sheet, bool closing) {
    std::vector<Hwnd> pages;
    Hwnd currentPage = 0;
    {
        Lock lk(m);
        const Window* s = window(sheet);
        if (!s || !s->sheet)
            return false;
        for (const auto& p : s->sheet->pages)
            pages.push_back(p.hwnd);
        if (s->sheet->current >= 0)
            currentPage = pages[static_cast<std::size_t>(s->sheet->current)];
    }
    if (currentPage && notifyPage(sheet, currentPage, win::kPsnKillActive, 0) != 0)
        return false;
    // Only the pages that were ever shown exist, and only they are asked to apply.
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (!pages[i])
            continue;
        const LResult r = notifyPage(sheet, pages[i], win::kPsnApply, closing ? TRUE : FALSE);
        if (r == win::kPsnRetInvalid || r == win::kPsnRetInvalidNoChangePage) {
            if (r == win::kPsnRetInvalid)
                selectPage(sheet, static_cast<int>(i), false);
            return false;
        }
    }
    Lock lk(m);
    if (Window* s = window(sheet); s && s->sheet)
        if (Window* apply = window(s->sheet->apply))
            apply->enabled = false;
    return true;
}

void SimPc::Impl::cancelSheet(Hwnd sheet, bool closeBox) {
    std::vector<Hwnd> pages;
    Hwnd currentPage = 0;
    {
        Lock lk(m);
        const Window* s = window(sheet);
        if (!s || !s->sheet)
            return;
        for (const auto& p : s->sheet->pages)
            pages.push_back(p.hwnd);
        if (s->sheet->current >= 0)
            currentPage = pages[static_cast<std::size_t>(s->sheet->current)];
    }
    if (currentPage && notifyPage(sheet, currentPage, win::kPsnQueryCancel, 0) != 0)
        return;
    for (Hwnd page : pages)
        if (page)
            notifyPage(sheet, page, win::kPsnReset, closeBox ? TRUE : FALSE);
    Lock lk(m);
    if (Window* s = window(sheet); s && s->modal)
        endFrame(*s->modal, 0);
}

LResult SimPc::Impl::sheetCommand(Hwnd sheet, int id) {
    switch (id) {
    case IDOK:
        if (applyPages(sheet, true)) {
            Lock lk(m);
            if (Window* s = window(sheet); s && s->modal)
                endFrame(*s->modal, 1);
        }
        return 0;
    case IDCANCEL:
        cancelSheet(sheet, false);
        return 0;
    case win::kIdApplyNow: {
        {
            Lock lk(m);
            const Window* s = window(sheet);
            const Window* apply = s && s->sheet ? window(s->sheet->apply) : nullptr;
            if (!apply || !apply->enabled)
                return 0;
        }
        applyPages(sheet, false);
        return 0;
    }
    case IDHELP: {
        Hwnd page = 0;
        {
            Lock lk(m);
            const Window* s = window(sheet);
            if (s && s->sheet && s->sheet->current >= 0)
                page = s->sheet->pages[static_cast<std::size_t>(s->sheet->current)].hwnd;
        }
        if (page)
            notifyPage(sheet, page, win::kPsnHelp, 0);
        return 0;
    }
    default:
        return 0;
    }
}

LResult SimPc::Impl::sheetProc(Hwnd sheet, std::uint32_t msg, WParam wParam, LParam lParam) {
    switch (msg) {
    case WM_COMMAND:
        return sheetCommand(sheet, static_cast<int>(loWord(wParam)));
    case WM_CLOSE: // the close box, or WM_CLOSE from the program
        cancelSheet(sheet, true);
        return 0;
    case win::kPsmSetCurSel:
        return selectPage(sheet, static_cast<int>(wParam), true) ? TRUE : FALSE;
    case win::kPsmChanged:
    case win::kPsmUnchanged: {
        Lock lk(m);
        const Window* s = window(sheet);
        if (Window* apply = s && s->sheet ? window(s->sheet->apply) : nullptr)
            apply->enabled = msg == win::kPsmChanged;
        return 0;
    }
    case win::kPsmPressButton: {
        const int id = wParam == win::kPsBtnOk         ? static_cast<int>(IDOK)
                       : wParam == win::kPsBtnCancel   ? static_cast<int>(IDCANCEL)
                       : wParam == win::kPsBtnApplyNow ? win::kIdApplyNow
                       : wParam == win::kPsBtnHelp     ? static_cast<int>(IDHELP)
                                                       : 0;
        if (id)
            sheetProc(sheet, WM_COMMAND, makeWParam(static_cast<std::uint32_t>(id), BN_CLICKED), 0);
        return TRUE;
    }
    case win::kPsmGetCurrentPageHwnd: {
        Lock lk(m);
        const Window* s = window(sheet);
        if (!s || !s->sheet || s->sheet->current < 0)
            return 0;
        return static_cast<LResult>(
            s->sheet->pages[static_cast<std::size_t>(s->sheet->current)].hwnd);
    }
    case win::kPsmHwndToIndex: {
        Lock lk(m);
        const Window* s = window(sheet);
        if (s && s->sheet)
            for (std::size_t i = 0; i < s->sheet->pages.size(); ++i)
                if (s->sheet->pages[i].hwnd && s->sheet->pages[i].hwnd == static_cast<Hwnd>(wParam))
                    return static_cast<LResult>(i);
        return -1;
    }
    case win::kPsmIndexToHwnd: {
        Lock lk(m);
        const Window* s = window(sheet);
        if (!s || !s->sheet || wParam >= s->sheet->pages.size())
            return 0;
        return static_cast<LResult>(s->sheet->pages[wParam].hwnd);
    }
    default:
        return defDialogProc(sheet, msg, wParam, lParam);
    }
}

int SimPc::Impl::activePageIndex(Hwnd sheet) {
    Lock lk(m);
    const Window* s = window(sheet);
    return s && s->sheet ? s->sheet->current : -1;
}

Hwnd SimPc::Impl::createSheetWindow(const plat::PropertySheetSpec& request, SheetState& state,
                                    Hwnd owner, ThreadRec* self) {
    Window& s = newWindow(WindowKind::Sheet, u"#32770", request.caption);
    s.style = win::kWsPopup | win::kWsCaption | win::kWsSysMenu;
    s.exStyle = win::kWsExDlgModalFrame | win::kWsExWindowEdge | win::kWsExControlParent;
    s.owner = owner;
    s.thread = self;
    s.processId = SimPc::kProgramProcessId;
    s.threadId = self->id;
    s.target = request.sheet;
    s.sheet = &state;
    const Hwnd sheet = s.hwnd;
    auto addControl = [&](const char16_t* cls, int id, const String& text, std::uint32_t style) {
        return addChildControl(sheet, self, cls, id, text, style);
    };
    state.tab = addControl(u"SysTabControl32", win::kIdTabControl, String(), win::kWsTabStop);
    for (const auto& p : state.pages)
        window(state.tab)->items.push_back(p.layout.caption);
    addControl(u"Button", IDOK, u"OK", win::kWsTabStop | win::kBsDefPushButton);
    addControl(u"Button", IDCANCEL, u"Cancel", win::kWsTabStop);
    state.apply = addControl(u"Button", win::kIdApplyNow, u"&Apply", win::kWsTabStop);
    window(state.apply)->enabled = false; // until a page reports a change
    addControl(u"Button", IDHELP, u"Help", win::kWsTabStop);
    return sheet;
}

void SimPc::Impl::destroySheet(Hwnd sheet, SheetState& state, ModalFrame& frame, Hwnd owner,
                               bool ownerWasEnabled) {
    for (const auto& p : state.pages)
        if (p.hwnd)
            callWindowProc(p.hwnd, WM_DESTROY, 0, 0);
    callWindowProc(sheet, WM_DESTROY, 0, 0);
    {
        Lock lk(m);
        closeFrame(frame);
        if (Window* s = window(sheet)) {
            journal("window destroyed: #32770/" + narrow(s->title) + " (result " +
                    std::to_string(frame.result) + ")");
            for (const auto& p : state.pages)
                if (Window* page = window(p.hwnd))
                    page->target = nullptr;
            s->modal = nullptr;
            s->sheet = nullptr;
            s->target = nullptr;
            destroyWindowLocked(sheet);
        }
        restoreOwner(owner, ownerWasEnabled);
    }
}

std::intptr_t SimPc::Impl::propertySheet(const plat::PropertySheetSpec& request) {
    SheetState state;
    ModalFrame frame;
    Hwnd sheet = 0;
    Hwnd owner = 0;
    bool ownerWasEnabled = false;
    {
        Lock lk(m);
        if (request.pages.empty())
            return -1;
        for (const auto& p : request.pages) {
            const res::ResourceSet* set = resourcesOf(p.resources);
            auto layout = set ? set->dialog(p.templateId) : std::nullopt;
            if (!layout || !p.target)
                return -1;
            state.pages.push_back(
                SheetPage{p.resources, p.templateId, p.target, std::move(*layout), 0});
        }
        ThreadRec* self = current(lk);
        owner = topLevelOf(request.parent);
        sheet = createSheetWindow(request, state, owner, self);
        beginFrame(frame, ModalKind::PropertySheet, sheet, self);
        ownerWasEnabled = disableOwner(owner);
    }
    // The sheet's own object sees the initialisation first, then the first page is made.
    if (request.sheet) {
        LResult ignored = 0;
        request.sheet->dialogMessage(sheet, WM_INITDIALOG, 0, 0, ignored);
    }
    const int start = std::clamp(request.startPage, 0, static_cast<int>(state.pages.size()) - 1);
    selectPage(sheet, start, false);
    bool userSees = false;
    {
        Lock lk(m);
        if (Window* s = window(sheet); s && !frame.ended) {
            s->visible = true;
            userSees = true;
        }
    }
    if (userSees)
        showModal(frame);
    runModal(frame);

    destroySheet(sheet, state, frame, owner, ownerWasEnabled);
    return frame.result;
}

} // namespace sim
