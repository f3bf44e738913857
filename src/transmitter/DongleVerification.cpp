#include "DongleVerification.h"

#include "Debug.h"
#include "ports.h"
#include "text.h"

#include <algorithm>

namespace {

constexpr std::uint16_t transmitterVendorId = 0x0B7A;
constexpr std::uint16_t transmitterProductId = 0x0100;
constexpr std::uint16_t vendorUsagePage = 0xFF00;
constexpr std::uint16_t consumerUsagePage = 0x000C;

// The recursion of findDongle re-enumerates after recording new paths; it ends after one
// step unless interfaces keep coming and going meanwhile. Bounded all the same.
constexpr int maxFindDepth = 4;

// Interface paths and instance ids are names Windows compares without regard to case.
bool sameName(const plat::String& a, const plat::String& b) {
    return plat::equalsIgnoringCase(a, b);
}

plat::StringArray::const_iterator findPath(const plat::StringArray& list, const plat::String& path) {
    return std::find_if(list.begin(), list.end(),
                        [&](const plat::String& entry) { return sameName(entry, path); });
}

bool contains(const plat::StringArray& list, const plat::String& path) {
    return findPath(list, path) != list.end();
}

void removeFirst(plat::StringArray& list, const plat::String& path) {
    const auto it = findPath(list, path);
    if (it != list.end())
        list.erase(it);
}

// A difference is empty when the lists of that collection did not change in size (for
// example a transmitter without its consumer-control collection); nothing is recorded then.
void insertFront(plat::StringArray& list, const plat::String& path) {
    if (!path.empty())
        list.insert(list.begin(), path);
}

} // namespace

DongleVerification::~DongleVerification() {
    clearSlots();
}

void DongleVerification::clearSlots() {
    plat::Hid& hid = plat::hid();
    if (!vendorTaken && vendorHandle)
        hid.close(vendorHandle);
    if (!consumerTaken && consumerHandle)
        hid.close(consumerHandle);
    vendorHandle = consumerHandle = 0;
    vendorTaken = consumerTaken = true;
}

plat::Handle DongleVerification::getVendorHandle() {
    vendorTaken = true;
    return vendorHandle;
}

plat::Handle DongleVerification::getConsumerHandle() {
    consumerTaken = true;
    return consumerHandle;
}

void DongleVerification::enumerateDongleInterfaces(plat::StringArray& vendorOut,
                                                   plat::StringArray& consumerOut) {
    traceEntry(u"DongleVerification::enumerateDongleInterfaces");
    vendorOut.clear();
    consumerOut.clear();
    plat::Hid& hid = plat::hid();
    for (const plat::String& path : hid.enumerateInterfaces(hid.getHidGuid())) {
        const plat::Handle device = hid.open(path);
        WriteLog(plat::formatText(u"%s\n", {path}), LogLevel::Log);
        if (!device)
            continue;
        plat::HidAttributes attributes;
        if (hid.getAttributes(device, attributes) && attributes.vendorId == transmitterVendorId &&
            attributes.productId == transmitterProductId) {
            plat::HidCaps caps;
            if (hid.getCaps(device, caps)) {
                if (caps.usagePage == consumerUsagePage)
                    consumerOut.push_back(path);
                else if (caps.usagePage == vendorUsagePage)
                    vendorOut.push_back(path);
            }
        }
        hid.close(device);
    }
    traceExit(u"DongleVerification::enumerateDongleInterfaces");
}

void DongleVerification::openDongleInterface(const plat::String& path) {
    traceEntry(u"DongleVerification::openDongleInterface");
    plat::Hid& hid = plat::hid();
    const plat::Handle device = hid.open(path);
    if (!device) {
        traceExit(u"DongleVerification::openDongleInterface");
        return;
    }
    plat::HidAttributes attributes;
    hid.getAttributes(device, attributes);
    plat::HidCaps caps;
    const bool known = hid.getCaps(device, caps);
    if (known && caps.usagePage == consumerUsagePage) {
        if (!consumerTaken && consumerHandle)
            hid.close(consumerHandle);
        consumerHandle = device;
        consumerTaken = false;
    } else if (known && caps.usagePage == vendorUsagePage) {
        if (!vendorTaken && vendorHandle)
            hid.close(vendorHandle);
        vendorHandle = device;
        vendorTaken = false;
    } else {
        hid.close(device); // nobody would ever close it
    }
    traceExit(u"DongleVerification::openDongleInterface");
}

plat::String DongleVerification::getInstanceId(const plat::String& path) {
    std::u16string_view rest = path;
    if (const std::size_t col = plat::findIgnoringCase(rest, u"col"); col != std::u16string_view::npos)
        rest.remove_prefix(col);
    const std::size_t first = rest.find(u'&');
    if (first == std::u16string_view::npos)
        return {};
    rest.remove_prefix(first + 1);
    const std::size_t second = rest.find(u'&');
    if (second == std::u16string_view::npos)
        return {};
    return plat::String(rest.substr(0, second));
}

plat::String DongleVerification::getPathDifference(const plat::StringArray& known,
                                                   const plat::StringArray& found) {
    const plat::StringArray* longer = nullptr;
    const plat::StringArray* shorter = nullptr;
    if (found.size() < known.size()) {
        longer = &known;
        shorter = &found;
    } else if (found.size() > known.size()) {
        longer = &found;
        shorter = &known;
    } else {
        return {};
    }
    for (const plat::String& path : *longer)
        if (!contains(*shorter, path))
            return path;
    return {};
}

int DongleVerification::openCurrent() {
    clearSlots();
    if (vendorPaths.empty())
        return 0;
    const plat::String id = getInstanceId(vendorPaths[0]);
    openDongleInterface(vendorPaths[0]);
    // The consumer-control collection of the same transmitter, if it has one: index 0 of the
    // consumer list may be another transmitter's when one lacks its collection.
    for (const plat::String& path : consumerPaths)
        if (sameName(getInstanceId(path), id)) {
            openDongleInterface(path);
            break;
        }
    currentInstanceId = id;
    return 1;
}

void DongleVerification::loseCurrent() {
    currentInstanceId.clear();
    clearSlots();
}

int DongleVerification::findDongle() {
    traceEntry(u"DongleVerification::findDongle");
    plat::StringArray foundVendor;
    plat::StringArray foundConsumer;
    enumerateDongleInterfaces(foundVendor, foundConsumer);
    const int result = findDongleFrom(foundVendor, foundConsumer);
    traceExit(u"DongleVerification::findDongle");
    return result;
}

int DongleVerification::findDongleFrom(const plat::StringArray& foundVendor,
                                       const plat::StringArray& foundConsumer) {
    const std::size_t known = vendorPaths.size();
    const std::size_t present = foundVendor.size();
    if (known == present)
        return sameCount(foundVendor, foundConsumer);
    if (known < present)
        return oneArrived(foundVendor, foundConsumer);
    return oneLeft(foundVendor, foundConsumer);
}

// The same transmitters as before.
int DongleVerification::sameCount(const plat::StringArray& foundVendor,
                                  const plat::StringArray& foundConsumer) {
    if (vendorPaths.empty())
        return 0;
    if (currentInstanceId.empty())
        return openCurrent();
    // One left and another came between two checks: the counts agree but the current
    // one is gone. Take the lists as found and report it gone; the next call opens the
    // first of the others.
    if (!contains(foundVendor, vendorPaths[0])) {
        vendorPaths = foundVendor;
        consumerPaths = foundConsumer;
        loseCurrent();
        return 0;
    }
    return 1;
}

// A transmitter arrived.
int DongleVerification::oneArrived(const plat::StringArray& foundVendor,
                                   const plat::StringArray& foundConsumer) {
    const std::size_t known = vendorPaths.size();
    const std::size_t present = foundVendor.size();
    loseCurrent();
    if (known == 0 && present > 1) {
        vendorPaths.insert(vendorPaths.end(), foundVendor.begin(), foundVendor.end());
        consumerPaths.insert(consumerPaths.end(), foundConsumer.begin(), foundConsumer.end());
    } else {
        insertFront(vendorPaths, getPathDifference(vendorPaths, foundVendor));
        insertFront(consumerPaths, getPathDifference(consumerPaths, foundConsumer));
        if (known != 0)
            return 0;
    }
    if (findDepth >= maxFindDepth)
        return 0;
    ++findDepth;
    const int result = findDongle();
    --findDepth;
    return result;
}

// A transmitter left.
int DongleVerification::oneLeft(const plat::StringArray& foundVendor,
                                const plat::StringArray& foundConsumer) {
    const plat::String removed = getPathDifference(vendorPaths, foundVendor);
    removeFirst(vendorPaths, removed);
    const plat::String removedConsumer = getPathDifference(consumerPaths, foundConsumer);
    removeFirst(consumerPaths, removedConsumer);
    // Nothing was open: report what is open after this call, as the equal-count case would.
    if (currentInstanceId.empty())
        return openCurrent();
    // Either collection tells whose it was; a transmitter may lack its consumer collection.
    const bool currentGone =
        (!removedConsumer.empty() && sameName(getInstanceId(removedConsumer), currentInstanceId)) ||
        (!removed.empty() && sameName(getInstanceId(removed), currentInstanceId));
    if (currentGone) {
        loseCurrent();
        return 0;
    }
    return 1;
}
