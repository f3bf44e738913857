// The Win32 values of the simulated PC's own windows and controls (sim_world.h). Tests do not
// include this; they use sim_pc.h.
#pragma once

#include "types.h"

#include <cstdint>

namespace sim {

using plat::LResult;
using plat::WParam;

// Win32 values the simulated controls need beyond those the program uses.
namespace win {
inline constexpr std::uint32_t kWmGetTextLength = 0x000E;
inline constexpr std::uint32_t kDmSetDefId = 0x0401;
inline constexpr std::uint32_t kDcHasDefId = 0x534B;
inline constexpr std::uint32_t kEnChange = 0x0300;
inline constexpr std::uint32_t kEmLimitText = 0x00C5;
inline constexpr std::uint32_t kLbInsertString = 0x0181;
inline constexpr std::uint32_t kLbDeleteString = 0x0182;
inline constexpr std::uint32_t kLbSelectString = 0x018C;
inline constexpr std::uint32_t kLbFindStringExact = 0x01A2;
inline constexpr std::uint32_t kCbDeleteString = 0x0144;
inline constexpr std::uint32_t kCbInsertString = 0x014A;
inline constexpr std::uint32_t kCbSelectString = 0x014D;
inline constexpr std::uint32_t kCbFindStringExact = 0x0158;
inline constexpr LResult kLbErr = -1;
inline constexpr std::uint32_t kBsTypeMask = 0x000F;
inline constexpr std::uint32_t kBsPushButton = 0x0000;
inline constexpr std::uint32_t kBsDefPushButton = 0x0001;
inline constexpr std::uint32_t kBsCheckBox = 0x0002;
inline constexpr std::uint32_t kBsAutoCheckBox = 0x0003;
inline constexpr std::uint32_t kBsRadioButton = 0x0004;
inline constexpr std::uint32_t kBs3State = 0x0005;
inline constexpr std::uint32_t kBsAuto3State = 0x0006;
inline constexpr std::uint32_t kBsGroupBox = 0x0007;
inline constexpr std::uint32_t kBsAutoRadioButton = 0x0009;
inline constexpr std::uint32_t kLbsNotify = 0x0001;
inline constexpr std::uint32_t kLbsSort = 0x0002;
inline constexpr std::uint32_t kCbsDropDownList = 0x0003;
inline constexpr std::uint32_t kCbsTypeMask = 0x0003;
inline constexpr std::uint32_t kLbGetItemData = 0x0199;
inline constexpr std::uint32_t kLbSetItemData = 0x019A;
inline constexpr std::uint32_t kCbGetItemData = 0x0150;
inline constexpr std::uint32_t kCbSetItemData = 0x0151;
inline constexpr std::uint32_t kCbsSort = 0x0100;
inline constexpr std::uint32_t kWsGroup = 0x00020000;
inline constexpr std::uint32_t kWsTabStop = 0x00010000;
inline constexpr std::uint32_t kWsPopup = 0x80000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsChild = 0x40000000;
inline constexpr std::uint32_t kWsExDlgModalFrame = 0x00000001;
inline constexpr std::uint32_t kWsExTopmost = 0x00000008;
inline constexpr std::uint32_t kWsExWindowEdge = 0x00000100;
inline constexpr std::uint32_t kWsExControlParent = 0x00010000;
inline constexpr std::uint32_t kMbTopmost = 0x00040000;
inline constexpr std::uint32_t kMbHelp = 0x00004000;
inline constexpr std::uint32_t kMbDefMask = 0x00000F00;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;
inline constexpr int kMessageBoxTextId = 0xFFFF;
inline constexpr std::uint32_t kMfChecked = 0x0008;
inline constexpr std::uint32_t kMfDisabled = 0x0002;
inline constexpr std::uint32_t kMfRadioCheck = 0x0200;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyCreateLink = 0x0020;
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kWriteDac = 0x00040000;
inline constexpr std::uint32_t kWriteOwner = 0x00080000;
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kMaximumAllowed = 0x02000000;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::int32_t kErrorKeyDeleted = 1018;
inline constexpr std::uint32_t kWmNotify = 0x004E;
inline constexpr std::uint32_t kWmNull = 0x0000;
inline constexpr std::uint32_t kPsnSetActive = 0u - 200u;
inline constexpr std::uint32_t kPsnKillActive = 0u - 201u;
inline constexpr std::uint32_t kPsnApply = 0u - 202u;
inline constexpr std::uint32_t kPsnReset = 0u - 203u;
inline constexpr std::uint32_t kPsnHelp = 0u - 205u;
inline constexpr std::uint32_t kPsnQueryCancel = 0u - 209u;
inline constexpr LResult kPsnRetInvalid = 1;
inline constexpr LResult kPsnRetInvalidNoChangePage = 2;
inline constexpr std::uint32_t kPsmSetCurSel = 0x0400 + 101;
inline constexpr std::uint32_t kPsmChanged = 0x0400 + 104;
inline constexpr std::uint32_t kPsmUnchanged = 0x0400 + 109;
inline constexpr std::uint32_t kPsmPressButton = 0x0400 + 112;
inline constexpr std::uint32_t kPsmGetCurrentPageHwnd = 0x0400 + 118;
inline constexpr std::uint32_t kPsmHwndToIndex = 0x0400 + 129;
inline constexpr std::uint32_t kPsmIndexToHwnd = 0x0400 + 130;
inline constexpr WParam kPsBtnOk = 3;
inline constexpr WParam kPsBtnApplyNow = 4;
inline constexpr WParam kPsBtnCancel = 5;
inline constexpr WParam kPsBtnHelp = 6;
inline constexpr int kIdTabControl = 0x3020;
inline constexpr int kIdApplyNow = 0x3021;
inline constexpr std::int32_t kErrorBadPathname = 161;
// Static controls showing an image.
inline constexpr std::uint32_t kSsTypeMask = 0x001F;
inline constexpr std::uint32_t kSsBitmap = 0x000E;
inline constexpr std::uint32_t kStmGetImage = 0x0173;
inline constexpr WParam kImageBitmap = 0;
} // namespace win

} // namespace sim
