// The Files port: an in-memory file system with case-insensitive paths, fopen/fgets-style
// streams and the one-step replacement the program uses to save configuration files, with
// the failures a test can inject (sim_pc.h, FileFault) leaving what Windows would leave.
#include "sim_world.h"

#include "text.h"

#include <algorithm>

namespace sim {

namespace {

// "C:/Program Files\\x" and "c:\\program files\\X" name the same file.
String normalise(const String& path) {
    String out;
    for (char16_t c : path) {
        if (c == u'/')
            c = u'\\';
        if (c == u'\\' && !out.empty() && out.back() == u'\\')
            continue;
        out += c;
    }
    return foldCase(out);
}

String folderOf(const String& key) {
    const auto slash = key.find_last_of(u'\\');
    return slash == String::npos ? String() : key.substr(0, slash);
}

std::string bytesNote(const SimFile& f) {
    return std::to_string(f.bytes.size()) + " bytes" + (f.unflushed ? ", not flushed" : "");
}

class FilesPort final : public plat::Files {
public:
    explicit FilesPort(SimPc::Impl& w) : w_(w) {}

    Handle open(const String& path, plat::FileMode mode) override {
        Lock lk(w_.m);
        const String key = normalise(path);
        if (key.empty())
            return 0;
        bool readFault = false;
        if (mode == plat::FileMode::Read) {
            if (!w_.files.count(key))
                return 0;
            if (w_.sparedReads > 0)
                --w_.sparedReads;
            else
                readFault = w_.fileFault(FileFault::Read) && w_.readFaultsLeft != 0;
            if (readFault && w_.readFaultsLeft > 0)
                --w_.readFaultsLeft;
        } else {
            if (w_.fileFault(FileFault::OpenForWrite) || !folderExists(folderOf(key)))
                return 0;
            SimFile& f = w_.files[key];
            if (f.path.empty())
                f.path = path;
            f.bytes.clear(); // "w+b" truncates
        }
        const Handle h = w_.nextHandle;
        w_.nextHandle += 4;
        w_.openFiles[h] = OpenFile{key, mode, 0, false, readFault, w_.callerProcess(lk)};
        return h;
    }

    plat::ReadResult readLine(Handle file, std::size_t maxBytes, std::string& line) override {
        Lock lk(w_.m);
        line.clear();
        OpenFile* f = find(file);
        if (!f || maxBytes < 2)
            return plat::ReadResult::Error;
        const SimFile* data = content(*f);
        if (!data)
            return plat::ReadResult::Error; // deleted while open
        if (f->position >= data->bytes.size())
            return plat::ReadResult::End;
        if (f->readFault && f->position > 0) {
            w_.journal("file read failed: " + narrow(data->path) + " at byte " +
                       std::to_string(f->position));
            return plat::ReadResult::Error;
        }
        while (line.size() < maxBytes - 1 && f->position < data->bytes.size()) {
            const char c = data->bytes[f->position++];
            line += c;
            if (c == '\n')
                break;
        }
        return plat::ReadResult::Line;
    }

    bool write(Handle file, const std::string& bytes) override {
        Lock lk(w_.m);
        OpenFile* f = find(file);
        if (!f || f->mode != plat::FileMode::WriteNew || w_.fileFault(FileFault::Write))
            return false;
        auto it = w_.files.find(f->key);
        if (it == w_.files.end())
            return false;
        std::string& data = it->second.bytes;
        if (f->position > data.size())
            data.resize(f->position);
        data.replace(f->position, std::min(bytes.size(), data.size() - f->position), bytes);
        f->position += bytes.size();
        f->written = true;
        it->second.unflushed = true;
        return true;
    }

    bool flush(Handle file) override {
        Lock lk(w_.m);
        OpenFile* f = find(file);
        if (!f || w_.fileFault(FileFault::Flush))
            return false;
        auto it = w_.files.find(f->key);
        if (it != w_.files.end())
            it->second.unflushed = false;
        return true;
    }

    bool close(Handle file) override {
        Lock lk(w_.m);
        auto it = w_.openFiles.find(file);
        if (it == w_.openFiles.end())
            return false;
        if (it->second.mode == plat::FileMode::WriteNew) {
            auto f = w_.files.find(it->second.key);
            if (f != w_.files.end())
                w_.journal("file written: " + narrow(f->second.path) + " (" +
                           std::to_string(f->second.bytes.size()) + " bytes)");
        }
        w_.openFiles.erase(it);
        return true;
    }

    bool exists(const String& path) override {
        Lock lk(w_.m);
        const String key = normalise(path);
        return w_.files.count(key) || folderExists(key);
    }

    bool deleteFile(const String& path) override {
        Lock lk(w_.m);
        if (w_.fileFault(FileFault::Delete))
            return false;
        auto it = w_.files.find(normalise(path));
        if (it == w_.files.end())
            return false;
        w_.journal("file deleted: " + narrow(it->second.path));
        w_.files.erase(it);
        return true;
    }

    std::uint32_t replaceFile(const String& replaced, const String& replacement,
                              const String* backup) override {
        Lock lk(w_.m);
        const String targetKey = normalise(replaced);
        const String sourceKey = normalise(replacement);
        const String backupKey = backup ? normalise(*backup) : String();
        auto target = w_.files.find(targetKey);
        auto source = w_.files.find(sourceKey);
        if (target == w_.files.end() || source == w_.files.end())
            return ERROR_FILE_NOT_FOUND;
        if (target == source || backupKey == targetKey || backupKey == sourceKey ||
            (backup && (backupKey.empty() || !folderExists(folderOf(backupKey)))))
            return ERROR_INVALID_PARAMETER;
        const std::string what = narrow(target->second.path) + " by " + narrow(source->second.path);

        if (w_.fileFault(FileFault::ReplaceUnableToRemove))
            return failed(ERROR_UNABLE_TO_REMOVE_REPLACED, what, "nothing moved");
        if (w_.fileFault(FileFault::ReplaceUnableToMove)) {
            if (backup)
                return failed(ERROR_UNABLE_TO_MOVE_REPLACEMENT, what, "nothing moved");
            w_.files.erase(target);
            return failed(ERROR_UNABLE_TO_MOVE_REPLACEMENT, what, narrow(replaced) + " is gone");
        }
        if (w_.fileFault(FileFault::ReplaceUnableToMove2)) {
            String aside = backup ? *backup
                                  : folderOf(target->second.path) + u"\\~RF" +
                                        plat::fromAscii(std::to_string(w_.nextScratchName++)) +
                                        u".TMP";
            SimFile moved{aside, std::move(target->second.bytes), target->second.unflushed};
            w_.files.erase(target);
            w_.files[normalise(aside)] = std::move(moved);
            return failed(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, what,
                          narrow(replaced) + " now lies under " + narrow(aside));
        }

        if (backup) {
            SimFile old{*backup, target->second.bytes, target->second.unflushed};
            w_.files[backupKey] = std::move(old);
            w_.journal("file backed up: " + narrow(*backup));
        }
        target->second.bytes = std::move(source->second.bytes);
        target->second.unflushed = source->second.unflushed;
        w_.journal("file replaced: " + narrow(target->second.path) + " (" +
                   bytesNote(target->second) + ")");
        w_.files.erase(source);
        return ERROR_SUCCESS;
    }

    bool moveFileReplace(const String& from, const String& to) override {
        Lock lk(w_.m);
        const String toKey = normalise(to);
        auto source = w_.files.find(normalise(from));
        if (w_.fileFault(FileFault::Move) || source == w_.files.end() ||
            !folderExists(folderOf(toKey)))
            return false;
        if (source->first == toKey)
            return true;
        SimFile moved{to, std::move(source->second.bytes), source->second.unflushed};
        w_.files.erase(source);
        w_.files[toKey] = std::move(moved);
        w_.journal("file moved to: " + narrow(to) + " (" + bytesNote(w_.files[toKey]) + ")");
        return true;
    }

private:
    std::uint32_t failed(std::uint32_t error, const std::string& what, const std::string& left) {
        w_.journal("file replace failed (" + std::to_string(error) + "): " + what + "; " + left);
        return error;
    }

    OpenFile* find(Handle h) {
        auto it = w_.openFiles.find(h);
        return it == w_.openFiles.end() ? nullptr : &it->second;
    }

    const SimFile* content(const OpenFile& f) const {
        auto it = w_.files.find(f.key);
        return it == w_.files.end() ? nullptr : &it->second;
    }

    bool folderExists(const String& key) const { return folderExistsLocked(w_, key); }

    SimPc::Impl& w_;
};

} // namespace

String normaliseFilePath(const String& path) {
    return normalise(path);
}

// A folder exists when it was created or holds a file; a drive root always does.
bool folderExistsLocked(const SimPc::Impl& w, const String& key) {
    if (key.empty() || (key.size() == 2 && key[1] == u':'))
        return true;
    if (w.folders.count(key))
        return true;
    const String prefix = key + u"\\";
    auto it = w.files.lower_bound(prefix);
    return it != w.files.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

std::unique_ptr<plat::Files> makeFilesPort(SimPc::Impl& w) {
    return std::make_unique<FilesPort>(w);
}

} // namespace sim
