#include "PairedDevices.h"

#include <algorithm>

using Guard = std::lock_guard<std::mutex>;

void PairedDevices::reset() {
    Guard g(lock_);
    devices_.clear();
    current_.clear();
    listingRemaining_ = -1;
    listingBase_ = 0;
    pairingIdle_ = 1;
}

void PairedDevices::forget() {
    Guard g(lock_);
    pairingIdle_ = 1;
    current_.clear();
    devices_.clear();
}

void PairedDevices::clear() {
    Guard g(lock_);
    current_.clear();
    devices_.clear();
}

PairedDevices::ListingStep PairedDevices::receiveListingEntry(std::int32_t count,
                                                              const plat::String& name,
                                                              const DeviceAddress& address,
                                                              std::uint8_t flags) {
    Guard g(lock_);
    ListingStep step;
    const bool starts = listingRemaining_ == -1;
    if (starts) {
        listingBase_ = static_cast<std::int32_t>(devices_.size());
        if (count > 0) {
            listingRemaining_ = count;
            current_ = name; // the newest device is the current one
        }
    }
    if (flags & kListingFromPairing)
        pairingIdle_ = 0;
    if (listingRemaining_ == -1) {
        // An empty listing adds nothing, but it is over all the same: processNewDevices must
        // still run, or a pairing that brought nothing would leave pairingIdle at 0 and the
        // next ordinary listing would be taken for a pairing one.
        step.complete = true;
        return step;
    }
    // Of a listing of N entries while K devices are known, the first N - K are the new ones
    // (newest first); the others are already in the list.
    if (listingRemaining_ - listingBase_ > 0)
        devices_.push_back({name, address});
    if (--listingRemaining_ == 0) {
        listingRemaining_ = -1;
        step.complete = true;
    }
    return step;
}

std::int32_t PairedDevices::orderListingIfNotPairing() {
    Guard g(lock_);
    if (pairingIdle_ == 1 && listingBase_ == 0)
        std::reverse(devices_.begin(), devices_.end());
    return pairingIdle_;
}

void PairedDevices::setPairingIdle() {
    Guard g(lock_);
    pairingIdle_ = 1;
}

plat::StringArray PairedDevices::names() const {
    Guard g(lock_);
    plat::StringArray out;
    out.reserve(devices_.size());
    for (const auto& d : devices_)
        out.push_back(d.name);
    return out;
}

std::vector<PairedDevice> PairedDevices::devices() const {
    Guard g(lock_);
    return devices_;
}

std::size_t PairedDevices::size() const {
    Guard g(lock_);
    return devices_.size();
}

plat::String PairedDevices::currentName() const {
    Guard g(lock_);
    return current_;
}

void PairedDevices::setCurrentName(const plat::String& name) {
    Guard g(lock_);
    current_ = name;
}

std::int32_t PairedDevices::indexOf(const plat::String& name) const {
    Guard g(lock_);
    for (std::size_t i = devices_.size(); i-- > 0;)
        if (devices_[i].name == name)
            return static_cast<std::int32_t>(i);
    return -1;
}

DeviceAddress PairedDevices::addressAt(std::int32_t index) const {
    Guard g(lock_);
    if (index < 0 || static_cast<std::size_t>(index) >= devices_.size())
        return kNoDeviceAddress;
    return devices_[static_cast<std::size_t>(index)].address;
}

void PairedDevices::rename(const plat::String& oldName, const plat::String& newName) {
    Guard g(lock_);
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const PairedDevice& d) { return d.name == oldName; });
    if (it != devices_.end())
        it->name = newName;
    if (current_ == oldName)
        current_ = newName;
}

void PairedDevices::renameAt(const DeviceAddress& address, const plat::String& newName) {
    Guard g(lock_);
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const PairedDevice& d) { return d.address == address; });
    if (it == devices_.end())
        return;
    if (current_ == it->name)
        current_ = newName;
    it->name = newName;
}

template <class Pick>
void PairedDevices::eraseAndHandOver(Pick leaves, const plat::String& name, bool written) {
    Guard g(lock_);
    if (written) {
        auto it = std::find_if(devices_.begin(), devices_.end(), leaves);
        if (it != devices_.end())
            devices_.erase(it);
    }
    if (devices_.empty())
        current_.clear();
    else if (current_ == name)
        current_ = devices_.back().name;
}

void PairedDevices::afterDelete(const plat::String& name, bool written) {
    eraseAndHandOver([&](const PairedDevice& d) { return d.name == name; }, name, written);
}

void PairedDevices::afterDeleteAt(const DeviceAddress& address, const plat::String& name,
                                  bool written) {
    eraseAndHandOver([&](const PairedDevice& d) { return d.address == address; }, name, written);
}

std::optional<PairedDevice> PairedDevices::findAddress(const DeviceAddress& address) const {
    Guard g(lock_);
    for (const auto& d : devices_)
        if (d.address == address)
            return d;
    return std::nullopt;
}

std::int32_t PairedDevices::listingRemaining() const {
    Guard g(lock_);
    return listingRemaining_;
}

std::int32_t PairedDevices::listingBase() const {
    Guard g(lock_);
    return listingBase_;
}

std::int32_t PairedDevices::pairingIdle() const {
    Guard g(lock_);
    return pairingIdle_;
}

plat::String SharedText::get() const {
    Guard g(lock_);
    return text_;
}

void SharedText::set(plat::String text) {
    Guard g(lock_);
    text_ = std::move(text);
}

NameCheck checkDeviceName(std::u16string_view entered, const plat::String& presentName,
                          const plat::StringArray& pairedNames) {
    // White space as the C locale's iswspace sees it.
    constexpr std::u16string_view space = u" \t\n\v\f\r";
    const std::size_t first = entered.find_first_not_of(space);
    NameCheck check;
    if (first == std::u16string_view::npos)
        return check;
    check.name = plat::String(entered.substr(first, entered.find_last_not_of(space) - first + 1));
    if (check.name == presentName)
        check.verdict = NameVerdict::Unchanged;
    else if (check.name.size() > kMaxDeviceNameLength)
        check.verdict = NameVerdict::TooLong;
    else if (std::find(pairedNames.begin(), pairedNames.end(), check.name) != pairedNames.end())
        check.verdict = NameVerdict::Taken;
    else
        check.verdict = NameVerdict::Rename;
    return check;
}
