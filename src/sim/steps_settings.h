// What the settings steps share between their table and their reading of the screen: the
// innermost window and its controls as text, and the user's input on them.
#pragma once

#include "scenario.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scn::settings {

inline constexpr int kTabControl = 0x3020;

// A label as a person names it: as shown, without blanks or a colon at the end.
std::string plainLabel(std::u16string_view text);
std::string shown(std::u16string_view text);
std::optional<sim::ModalView> topModal(Session& s);
std::string windowName(const sim::ModalView& v);
// Once the program is idle: the innermost window and its control that the step names in
// <control>; nothing (with a failure) when either is missing.
std::optional<std::pair<sim::ModalView, sim::ControlView>> namedControl(Session& s,
                                                                        const Args& a);
std::string itemsText(const sim::ControlView& c);
std::string selectedText(const sim::ControlView& c);
std::string controlLine(const sim::ControlView& c);
std::vector<std::string> windowText(const sim::ModalView& v);
// Input on the innermost window, handled by its own thread; the step returns once the
// program is idle again, also when the input opened another window (held or answered).
void act(Session& s, std::function<void(sim::ModalContext&)> action);
// The user's input on the control the step names in the innermost window; `input` gets the
// control's id.
void actOnControl(Session& s, const Args& a,
                  const std::function<void(sim::ModalContext&, int)>& input);
// The next modal of this kind and caption stays open for the steps below; one that never
// opens fails the scenario at its end.
void holdNext(Session& s, sim::ModalKind kind, const plat::String& caption,
              const std::string& what);

struct HelpSeen {
    std::size_t journalLinesChecked = 0;
};

std::string programFolder();

} // namespace scn::settings
