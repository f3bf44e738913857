#include "WinampOutput.h"

#include <algorithm>
#include <array>

namespace winampout {

namespace {

bool contains(std::string_view line, std::string_view what) {
    return line.find(what) != std::string_view::npos;
}

// Encoded position -> GUID text position, and the fixed characters of the GUID text.
constexpr std::array<int, 32> kEncodeOrder = {7,  8,  5,  6,  3,  4,  1,  2,  12, 13, 10,
                                              11, 17, 18, 15, 16, 20, 21, 22, 23, 25, 26,
                                              27, 28, 29, 30, 31, 32, 33, 34, 35, 36};

// The number the value starts with gives way to the digit; with none, the digit is
// inserted. A line ending is never part of the number.
std::string withDigit(std::string_view piece, char digit) {
    std::string line(piece);
    const std::size_t at = inifile::valueStart(piece);
    std::size_t end = at;
    if (end < piece.size() && (piece[end] == '-' || piece[end] == '+'))
        ++end;
    const std::size_t digits = end;
    while (end < piece.size() && piece[end] >= '0' && piece[end] <= '9')
        ++end;
    if (end == digits)
        end = at; // a sign alone is not a number
    line.replace(at, end - at, 1, digit);
    return line;
}

} // namespace

int nextState(int state, std::string_view piece, bool beginsLine) {
    switch (state) {
    case LookingForPlugin:
        if (contains(piece, "outname=")) {
            if (contains(piece, "out_wave.dll"))
                return LookingForWaveSection;
            if (contains(piece, "out_ds.dll"))
                return LookingForDsSection;
            return PluginNotUnderstood;
        }
        return state;
    case LookingForWaveSection:
        return beginsLine && piece.starts_with("[out_wave]") ? LookingForWaveDevice : state;
    case LookingForDsSection:
        return beginsLine && piece.starts_with("[out_ds]") ? LookingForDsDevice : state;
    case LookingForWaveDevice:
    case LookingForDsDevice: {
        if (!beginsLine)
            return state;
        if (inifile::isSectionHeader(piece))
            return NoDeviceLine;
        const auto key = inifile::keyOf(piece);
        if (state == LookingForWaveDevice)
            return key == "cfg_dev" ? WaveDeviceFound : state;
        return key == "cfg_dev2" ? DsDeviceFound : state;
    }
    default:
        return state;
    }
}

bool finalState(int state) {
    return state == WaveDeviceFound || state == DsDeviceFound || state == NoDeviceLine ||
           state == PluginNotUnderstood;
}

void EarlySections::note(int state, std::string_view piece, bool beginsLine) {
    if (state != LookingForPlugin || !beginsLine)
        return;
    wave = wave || piece.starts_with("[out_wave]");
    ds = ds || piece.starts_with("[out_ds]");
}

bool EarlySections::onlyBefore(int state) const {
    return (state == LookingForWaveSection && wave) || (state == LookingForDsSection && ds);
}

bool DeviceFinder::feed(std::string_view piece) {
    if (done())
        return true;
    const bool begins = lines_.next(piece);
    early_.note(state_, piece, begins);
    state_ = nextState(state_, piece, begins);
    if (state_ == WaveDeviceFound) {
        found_.kind = DeviceLine::Kind::Digit;
        const std::size_t at = inifile::valueStart(piece);
        found_.digit = at < piece.size() ? static_cast<unsigned char>(piece[at]) - '0' : -1;
    } else if (state_ == DsDeviceFound) {
        found_.kind = DeviceLine::Kind::Guid;
        const std::size_t equals = piece.find('=');
        found_.hasValue = equals != std::string_view::npos;
        if (found_.hasValue)
            found_.value = widen(piece.substr(equals + 1));
    }
    return done();
}

DeviceLine DeviceFinder::result() const {
    DeviceLine line = found_;
    if (line.kind == DeviceLine::Kind::None && state_ != LookingForPlugin &&
        state_ != PluginNotUnderstood && !early_.onlyBefore(state_))
        line.kind = DeviceLine::Kind::Missing;
    return line;
}

DeviceRewriter::DeviceRewriter(int index, std::uint32_t waveId, std::string encodedGuid)
    : encoded_(std::move(encodedGuid)) {
    // One character holds the device: entries from 10 on (wave-out 9 on) have no digit.
    if (index == 0)
        digit_ = '0';
    else if (index > 0 && index < 10 && waveId < 9)
        digit_ = static_cast<char>('1' + waveId);
}

std::string DeviceRewriter::eol() const {
    return ending_.empty() ? std::string("\r\n") : ending_;
}

std::string DeviceRewriter::written(std::string out) {
    if (!out.empty())
        lastEndsLine_ = out.back() == '\n';
    return out;
}

bool DeviceRewriter::deviceLine(int state, std::string& line) {
    if (state == LookingForWaveDevice || state == LookingForWaveSection) {
        if (digit_ == 0)
            return false;
        line = std::string("cfg_dev=") + digit_ + eol();
    } else {
        line = "cfg_dev2=" + encoded_ + eol();
    }
    return true;
}

void DeviceRewriter::appendGuidLine(std::string_view piece, std::string& out) {
    // The key was read before the first "=", so the line has one.
    out.append(piece.substr(0, piece.find('=') + 1)).append(encoded_);
    if (lines_.endsLine())
        out += lines_.ending();
    else
        dropping_ = true;
}

std::string DeviceRewriter::transform(std::string_view piece) {
    const bool begins = lines_.next(piece);
    if (ending_.empty())
        ending_ = std::string(lines_.ending());
    if (dropping_) {
        // The rest of the old GUID value: gone, but for the line's own ending.
        if (!lines_.endsLine())
            return {};
        dropping_ = false;
        return written(std::string(lines_.ending()));
    }
    if (refused_ || finalState(state_))
        return written(std::string(piece));
    const int before = state_;
    early_.note(state_, piece, begins);
    state_ = nextState(state_, piece, begins);
    if (state_ == PluginNotUnderstood) {
        refused_ = pluginNotUnderstood_ = true;
        return {};
    }

    std::string out;
    if (before == LookingForWaveDevice || before == LookingForDsDevice) {
        if (state_ == NoDeviceLine) {
            // The section ends here without its device line: it goes after the section's
            // last line that is not blank.
            std::string line;
            if (!deviceLine(before, line)) {
                refused_ = true;
                return {};
            }
            out = line + heldBlanks_ + std::string(piece);
            heldBlanks_.clear();
            return written(std::move(out));
        }
        if (state_ == before && begins && lines_.endsLine() && inifile::isBlank(piece)) {
            heldBlanks_ += piece; // perhaps the section's last lines
            return {};
        }
        out = std::move(heldBlanks_);
        heldBlanks_.clear();
    }

    if (state_ == WaveDeviceFound) {
        if (digit_ == 0) {
            refused_ = true;
            return {};
        }
        out += withDigit(piece, digit_);
    } else if (state_ == DsDeviceFound) {
        appendGuidLine(piece, out);
    } else {
        out += piece;
    }
    return written(std::move(out));
}

std::string DeviceRewriter::finish() {
    if (dropping_) {
        dropping_ = false;
        // The value ended the file without a line ending: the line gets the file's own.
        return written(eol());
    }
    if (refused_ || finalState(state_))
        return {};
    if (state_ == LookingForPlugin) {
        refused_ = pluginNotUnderstood_ = true; // no plug-in line at all
        return {};
    }
    const bool wave = state_ == LookingForWaveSection || state_ == LookingForWaveDevice;
    std::string line;
    if (!deviceLine(state_, line) || early_.onlyBefore(state_)) {
        refused_ = true;
        return {};
    }
    std::string out = lastEndsLine_ ? std::string() : eol();
    if (state_ == LookingForWaveSection || state_ == LookingForDsSection)
        out += std::string(wave ? "[out_wave]" : "[out_ds]") + eol();
    out += line + heldBlanks_;
    heldBlanks_.clear();
    return written(std::move(out));
}

DeviceLine findDevice(std::string_view contents) {
    DeviceFinder finder;
    std::size_t position = 0;
    std::string piece;
    while (!finder.done() && inifile::readBoundedLine(contents, position, kPieceCapacity, piece))
        finder.feed(piece);
    return finder.result();
}

std::string rewriteDevice(std::string_view contents, int index, std::uint32_t waveId,
                          const std::string& encodedGuid, bool& refused) {
    DeviceRewriter rewriter(index, waveId, encodedGuid);
    std::string out;
    out.reserve(contents.size() + 40);
    std::size_t position = 0;
    std::string piece;
    while (!rewriter.refused() &&
           inifile::readBoundedLine(contents, position, kPieceCapacity, piece))
        out += rewriter.transform(piece);
    out += rewriter.finish();
    refused = rewriter.refused();
    return out;
}

plat::String guidEncode(std::u16string_view guid) {
    plat::String out;
    out.reserve(34);
    for (const int position : kEncodeOrder)
        if (static_cast<std::size_t>(position) < guid.size())
            out += guid[static_cast<std::size_t>(position)];
    out += u"00";
    return out;
}

plat::String guidDecode(std::u16string_view encoded) {
    // GUID text position -> encoded position; -1 for the braces and hyphens.
    static constexpr std::array<int, 38> kDecodeFrom = [] {
        std::array<int, 38> from{};
        from.fill(-1);
        for (int i = 0; i < 32; ++i)
            from[static_cast<std::size_t>(kEncodeOrder[static_cast<std::size_t>(i)])] = i;
        return from;
    }();
    plat::String out;
    out.reserve(38);
    for (std::size_t position = 0; position < kDecodeFrom.size(); ++position) {
        const int from = kDecodeFrom[position];
        if (from < 0)
            out += position == 0 ? u'{' : position == 37 ? u'}' : u'-';
        else if (static_cast<std::size_t>(from) < encoded.size())
            out += encoded[static_cast<std::size_t>(from)];
    }
    return out;
}

std::string toAscii(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

plat::String widen(std::string_view bytes) {
    plat::String out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

} // namespace winampout
