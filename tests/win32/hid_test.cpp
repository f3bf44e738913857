// The HID port's overlapped reads and writes. No HID device exists under Wine, so they run
// against a named pipe in message mode: its client end is opened by the port exactly as a
// HID interface is, and the server end plays the device.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

// mingw-w64's HID headers declare C functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include "win32_test_support.h"

namespace {

struct ReadResult {
    bool ok = false;
    std::uint32_t bytes = 0;
    std::uint32_t error = 0;
    std::uint8_t data[64] = {};
};

class HidPortOnAPipe : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring name = L"\\\\.\\pipe\\" + qa_test::uniqueName(L"qa-hid");
        device_.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                         4096, 4096, 0, nullptr));
        ASSERT_TRUE(device_);
        handle_ = hid.open(qa_test::u16(name));
        ASSERT_NE(handle_, 0u);
        // The client's open has connected the pipe already.
        ASSERT_FALSE(::ConnectNamedPipe(device_.get(), nullptr));
        ASSERT_EQ(::GetLastError(), DWORD(ERROR_PIPE_CONNECTED));
    }
    void TearDown() override {
        if (reader_.joinable())
            reader_.join();
        if (handle_) {
            EXPECT_TRUE(hid.close(handle_));
        }
    }

    void startReader() {
        readerDone_ = false;
        reader_ = std::thread([this] {
            result_.ok =
                hid.read(handle_, result_.data, sizeof(result_.data), result_.bytes, result_.error);
            readerDone_ = true;
        });
    }

    bool deviceSends(const char* report) {
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(std::strlen(report));
        return ::WriteFile(device_.get(), report, length, &written, nullptr) && written == length;
    }

    plat::Hid& hid = plat::hid();
    plat::win32::UniqueHandle device_;
    plat::Handle handle_ = 0;
    std::thread reader_;
    std::atomic<bool> readerDone_{false};
    ReadResult result_;
};

TEST_F(HidPortOnAPipe, BlockedReadDeliversTheNextReport) {
    startReader();
    EXPECT_FALSE(readerDone_);
    ASSERT_TRUE(deviceSends("report-2"));
    ASSERT_TRUE(qa_test::waitFor([&] { return readerDone_.load(); }));
    EXPECT_TRUE(result_.ok) << result_.error;
    ASSERT_EQ(result_.bytes, 8u);
    EXPECT_EQ(std::memcmp(result_.data, "report-2", 8), 0);
}

TEST_F(HidPortOnAPipe, ReportWaitingBeforeTheReadIsDeliveredAtOnce) {
    ASSERT_TRUE(deviceSends("early"));
    startReader();
    ASSERT_TRUE(qa_test::waitFor([&] { return readerDone_.load(); }));
    EXPECT_TRUE(result_.ok);
    EXPECT_EQ(result_.bytes, 5u);
}

TEST_F(HidPortOnAPipe, CancelEndsAPendingReadFromAnotherThread) {
    startReader();
    // cancelRead affects only a read already issued; repeat until the reader has left.
    ASSERT_TRUE(qa_test::waitFor([&] {
        hid.cancelRead(handle_);
        return readerDone_.load();
    }));
    EXPECT_FALSE(result_.ok);
    EXPECT_EQ(result_.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(result_.bytes, 0u);
    reader_.join();

    // The handle stays usable: the next read gets the next report.
    startReader();
    ASSERT_TRUE(deviceSends("after"));
    ASSERT_TRUE(qa_test::waitFor([&] { return readerDone_.load(); }));
    EXPECT_TRUE(result_.ok);
    EXPECT_EQ(result_.bytes, 5u);
}

TEST_F(HidPortOnAPipe, DeviceGoingAwayEndsThePendingRead) {
    startReader();
    EXPECT_FALSE(readerDone_);
    ::DisconnectNamedPipe(device_.get());
    device_.reset();
    ASSERT_TRUE(qa_test::waitFor([&] { return readerDone_.load(); }));
    EXPECT_FALSE(result_.ok);
    EXPECT_NE(result_.error, ERROR_SUCCESS);
    EXPECT_NE(result_.error, ERROR_OPERATION_ABORTED);
}

TEST_F(HidPortOnAPipe, WriteReachesTheDevice) {
    const std::uint8_t report[6] = {2, 0x40, 'a', 'b', 'c', 0};
    std::uint32_t written = 0;
    ASSERT_TRUE(hid.write(handle_, report, sizeof(report), written));
    EXPECT_EQ(written, sizeof(report));

    std::uint8_t received[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(device_.get(), received, sizeof(received), &got, nullptr));
    ASSERT_EQ(got, sizeof(report));
    EXPECT_EQ(std::memcmp(received, report, sizeof(report)), 0);
}

TEST_F(HidPortOnAPipe, PipeIsNoHidDevice) {
    plat::HidAttributes attributes;
    EXPECT_FALSE(hid.getAttributes(handle_, attributes));
    plat::HidCaps caps;
    EXPECT_FALSE(hid.getCaps(handle_, caps));
}

TEST(HidPort, ClassGuidAndFailedOpens) {
    plat::Hid& hid = plat::hid();
    const plat::Guid guid = hid.getHidGuid();
    EXPECT_EQ(
        guid,
        (plat::Guid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}}));
    EXPECT_EQ(hid.open(u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_00#absent"), 0u);

    std::uint8_t buffer[8];
    std::uint32_t n = 0, error = 0;
    EXPECT_FALSE(hid.read(0, buffer, sizeof(buffer), n, error));
    EXPECT_FALSE(hid.write(0, buffer, sizeof(buffer), n));
    EXPECT_FALSE(hid.close(0));
    hid.cancelRead(0);
    // Whatever HID interfaces Wine offers, each path comes back whole.
    for (const plat::String& path : hid.enumerateInterfaces(guid))
        EXPECT_EQ(path.rfind(u"\\\\?\\", 0), 0u);
}

// HidP_GetCaps's record reaches the seam field by field: input and output lengths that
// differ land where they belong.
TEST(HidCapsRecord, LengthsAndUsagesLandInTheirOwnFields) {
    HIDP_CAPS record{};
    record.Usage = 0x0001;
    record.UsagePage = 0xFF00;
    record.InputReportByteLength = 65;
    record.OutputReportByteLength = 138;
    record.FeatureReportByteLength = 9;
    const plat::HidCaps caps = plat::win32::fromHidpCaps(record);
    EXPECT_EQ(caps.usage, 0x0001);
    EXPECT_EQ(caps.usagePage, 0xFF00);
    EXPECT_EQ(caps.inputReportByteLength, 65);
    EXPECT_EQ(caps.outputReportByteLength, 138);
    EXPECT_EQ(caps.featureReportByteLength, 9);
}

} // namespace
