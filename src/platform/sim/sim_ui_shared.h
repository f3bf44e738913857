// Shared by the files of the simulated user interface: how a person names what is shown, the
// scripted user's hands on an open modal, and the UserInterface port itself.
#pragma once

#include "sim_world.h"

namespace sim {

String withoutAccelerators(const String& text);
// A person names an item or a button by what it shows: "R&&B Room" is "R&B Room", and
// "R&B Room" is shown as "RB Room" (the B underlined).
bool sameLabel(const String& shown, const String& wanted);
std::string oneLine(const String& text);
const char* kindName(ModalKind kind);
bool matches(const ScriptEntry& e, const ModalView& v);
String displayClass(const String& cls);

struct ButtonSpec {
    int id;
    const char16_t* text;
};

std::vector<ButtonSpec> boxButtons(std::uint32_t style);

// The scripted user's hands on one open modal.
class SimModalContext final : public ModalContext {
public:
    SimModalContext(SimPc::Impl& w, ModalFrame& frame) : w_(w), f_(frame) {}

    const ModalView& view() override;
    void pressButton(const String& text) override;
    void pressId(int controlId) override;
    void setText(int controlId, const String& text) override;
    void selectItem(int controlId, int index) override;
    void doubleClickItem(int controlId, int index) override;
    void selectItemByText(int controlId, const String& text) override;
    void setChecked(int controlId, bool checked) override;
    void requestHelp(int controlId) override;
    void pressEnter() override;
    void pressEscape() override;
    void chooseMenuItem(const String& path) override;
    void chooseMenuPath(const std::vector<String>& labels) override;

private:
    Hwnd usableControl(int controlId);
    void chooseCommand(std::uint32_t id);
    void choose(std::uint32_t id, const String& path);
    void dismissMenu();
    void failOnView(const std::string& what);

    SimPc::Impl& w_;
    ModalFrame& f_;
    ModalView view_;
};

// The UserInterface port.
class UiPort final : public plat::UserInterface {
public:
    explicit UiPort(SimPc::Impl& w) : w_(w) {}

    std::intptr_t dialogBox(Module resources, int templateId, Hwnd parent,
                            plat::DialogTarget* target) override;
    bool endDialog(Hwnd dialog, std::intptr_t result) override;
    int messageBox(Hwnd owner, const String& text, const String& caption, std::uint32_t style,
                   plat::MessageBoxHook* hook) override;
    std::intptr_t propertySheet(const plat::PropertySheetSpec& request) override;
    int activePageIndex(Hwnd sheet) override { return w_.activePageIndex(sheet); }
    plat::MessageSource currentMessageSource() override;
    HMenu loadMenu(Module resources, int menuId) override;
    HMenu getSubMenu(HMenu menu, int position) override;
    HMenu createPopupMenu() override;
    bool insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags, std::uintptr_t item,
                    const String& text) override;
    bool appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item,
                    const String& text) override;
    bool checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                            std::uint32_t check, std::uint32_t flags) override;
    bool setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) override;
    bool trackPopupMenu(HMenu menu, std::uint32_t, plat::Point, Hwnd owner) override;
    bool destroyMenu(HMenu menu) override;
    bool shellNotifyIcon(std::uint32_t message, const plat::NotifyIconData& data) override;

private:
    // The checked item becomes a radio item; the others lose their check but keep the radio
    // type they had (as Windows does, whatever its documentation says).
    static void mark(MenuItem& item, bool checked);
    static void apply(TrayIcon& icon, const plat::NotifyIconData& data);
    static MenuItem makeItem(std::uint32_t flags, std::uintptr_t item, const String& text);
    HMenu build(const std::vector<res::MenuTemplateItem>& items, int resourceId,
                std::uint32_t owner);
    bool findCommand(HMenu menu, std::uintptr_t id, Menu*& owner, std::size_t& at, int depth);
    bool destroy(HMenu menu, int depth);

    SimPc::Impl& w_;
};

} // namespace sim
