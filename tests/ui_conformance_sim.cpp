// The UI conformance suite's native tier: the simulated PC with the suite's templates, its
// scripted user as the user, and virtual time that passes while the program runs.
#include "ui_conformance.h"

#include "sim_pc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

// The suite's templates, compiled from ui_conformance.rc by the native build.
extern const unsigned char qa_conformance_res[];
extern const std::size_t qa_conformance_res_size;

namespace conformance {

namespace {

class SimUser final : public User {
public:
    explicit SimUser(sim::ModalContext& context) : c_(context) {}

    plat::Hwnd window() override { return c_.view().window; }
    plat::Hwnd owner() override { return c_.view().owner; }
    bool isDefaultButton(int controlId) override {
        const sim::ControlView* button = c_.view().control(controlId);
        return button && button->isDefault;
    }
    std::vector<MenuItemView> menuItems() override {
        std::vector<MenuItemView> items;
        for (const sim::ControlView& c : c_.view().controls) {
            MenuItemView item;
            item.text = c.text;
            item.id = static_cast<std::uint32_t>(c.id);
            item.popup = c.className == u"Popup";
            item.checked = c.checked != 0;
            item.radio = c.radio;
            item.isDefault = c.isDefault;
            item.enabled = c.enabled;
            items.push_back(item);
        }
        return items;
    }
    void pressEnter() override { c_.pressEnter(); }
    void pressEscape() override { c_.pressEscape(); }
    void click(int controlId) override { c_.pressId(controlId); }
    void clickTab(int index) override { c_.selectItem(kTabControl, index); }
    void clickItem(int controlId, int index) override { c_.selectItem(controlId, index); }
    void doubleClickItem(int controlId, int index) override {
        c_.doubleClickItem(controlId, index);
    }
    void requestHelp(int controlId) override { c_.requestHelp(controlId); }
    void chooseMenuItem(const String& text) override { c_.chooseMenuItem(text); }

private:
    static constexpr int kTabControl = 0x3020;
    sim::ModalContext& c_;
};

class SimTier final : public Tier {
public:
    SimTier() {
        pc_.install();
        pc_.setFailureHandler([this](const std::string& message) {
            std::lock_guard<std::mutex> guard(lock_);
            failures_.push_back(message);
        });
        EXPECT_TRUE(pc_.setResourceBlob(std::vector<std::uint8_t>(
            qa_conformance_res, qa_conformance_res + qa_conformance_res_size)));
    }
    ~SimTier() override { pc_.endProcess(); }

    plat::Module templates() override { return plat::resources().programModule(); }

    void expect(Modal kind, std::function<void(User&)> act) override {
        sim::ScriptEntry entry;
        entry.kind = kind == Modal::Dialog       ? sim::ModalKind::Dialog
                     : kind == Modal::Sheet      ? sim::ModalKind::PropertySheet
                     : kind == Modal::MessageBox ? sim::ModalKind::MessageBox
                                                 : sim::ModalKind::PopupMenu;
        entry.act = [act = std::move(act)](sim::ModalContext& context) {
            SimUser user(context);
            act(user);
        };
        entry.label = "conformance user";
        pc_.script(std::move(entry));
    }

    int run(std::function<int()> program) override {
        pc_.startProgram(std::move(program));
        // The program's clock runs while it waits: step through virtual time, bounded.
        constexpr int kSteps = 600;
        for (int step = 0; step < kSteps && pc_.programRunning(); ++step) {
            pc_.waitIdle();
            if (!pc_.programRunning())
                break;
            pc_.advance(1000);
        }
        const std::optional<int> result = pc_.waitForExit(std::chrono::seconds(5));
        if (!result) {
            ADD_FAILURE() << "the program did not end within " << kSteps << " virtual seconds\n"
                          << pc_.screen();
            pc_.endProcess();
        }
        EXPECT_EQ(pc_.pendingScriptEntries(), 0u) << "an expected modal never opened";
        checkFailures();
        return result.value_or(-99);
    }

    void expectMisuseReport(const std::string& what) override {
        std::lock_guard<std::mutex> guard(lock_);
        misuses_.push_back(what);
    }

    bool isWine() override { return false; }

    bool objectLive(LiveKind kind, std::uintptr_t handle) override {
        const sim::HandleKind wanted =
            kind == LiveKind::Bitmap ? sim::HandleKind::Bitmap : sim::HandleKind::Menu;
        for (const auto& o : pc_.handles().objects)
            if (o.kind == wanted && o.id == handle)
                return true;
        return false;
    }

private:
    // Every failure the simulated PC reported must be one the test expected, and every
    // expected one must have been reported.
    void checkFailures() {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<bool> seen(misuses_.size(), false);
        for (const std::string& failure : failures_) {
            bool expected = false;
            for (std::size_t i = 0; i < misuses_.size(); ++i)
                if (failure.find(misuses_[i]) != std::string::npos)
                    expected = seen[i] = true;
            if (!expected)
                ADD_FAILURE() << "simulated PC: " << failure;
        }
        for (std::size_t i = 0; i < misuses_.size(); ++i)
            if (!seen[i])
                ADD_FAILURE() << "the simulated PC did not report: " << misuses_[i];
        failures_.clear();
        misuses_.clear();
    }

    sim::SimPc pc_;
    std::mutex lock_;
    std::vector<std::string> failures_;
    std::vector<std::string> misuses_;
};

} // namespace

std::unique_ptr<Tier> makeTier() {
    return std::make_unique<SimTier>();
}

} // namespace conformance
