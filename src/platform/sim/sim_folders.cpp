// The Folders port: the shell's special folders of the user by CSIDL number and the program's
// environment, as a fresh machine of today has them for the user "User" (sim_pc.h), and
// whether a path names a folder of the simulated file system.
#include "sim_world.h"

#include "text.h"

namespace sim {

namespace {

const String kProfile = u"C:\\Users\\User";

class FoldersPort final : public plat::Folders {
public:
    explicit FoldersPort(SimPc::Impl& w) : w_(w) {}

    bool shellFolderPath(int csidl, String& path) override {
        Lock lk(w_.m);
        path.clear();
        auto it = w_.shellFolders.find(csidl);
        // Known, but not there: the Unicode form fails as it does for a missing folder.
        if (it == w_.shellFolders.end() || !folderExistsLocked(w_, normaliseFilePath(it->second)))
            return false;
        path = it->second;
        return true;
    }

    bool expandEnvironmentStrings(const String& text, String& expanded) override {
        Lock lk(w_.m);
        expanded.clear();
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t open = text.find(u'%', at);
            const std::size_t close = open == String::npos ? String::npos : text.find(u'%', open + 1);
            if (close == String::npos) {
                expanded += text.substr(at);
                break;
            }
            expanded += text.substr(at, open - at);
            auto it = w_.environment.find(foldCase(text.substr(open + 1, close - open - 1)));
            if (it == w_.environment.end()) {
                // An unknown name stays as written; its closing '%' may open the next one.
                expanded += text.substr(open, close - open);
                at = close;
            } else {
                expanded += it->second.second;
                at = close + 1;
            }
        }
        return true;
    }

    bool isFolder(const String& path) override {
        Lock lk(w_.m);
        String key = normaliseFilePath(path);
        while (key.size() > 2 && key.back() == u'\\')
            key.pop_back();
        return !w_.files.count(key) && folderExistsLocked(w_, key);
    }

private:
    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::Folders> makeFoldersPort(SimPc::Impl& w) {
    const std::pair<int, String> folders[] = {
        {SimPc::kCsidlAppData, kProfile + u"\\AppData\\Roaming"},
        {SimPc::kCsidlLocalAppData, kProfile + u"\\AppData\\Local"},
        {SimPc::kCsidlProfile, kProfile},
    };
    for (const auto& [csidl, path] : folders) {
        w.shellFolders[csidl] = path;
        for (String key = normaliseFilePath(path); key.size() > 2;
             key = key.substr(0, key.find_last_of(u'\\')))
            w.folders.insert(key);
    }
    const std::pair<String, String> variables[] = {
        {u"APPDATA", folders[0].second},
        {u"LOCALAPPDATA", folders[1].second},
        {u"USERPROFILE", kProfile},
        {u"USERNAME", u"User"},
    };
    for (const auto& [name, value] : variables)
        w.environment[foldCase(name)] = {name, value};
    return std::make_unique<FoldersPort>(w);
}

// ------------------------------------------------------------------ the test-facing side

void SimMachine::setShellFolder(int csidl, const String& path) {
    Lock lk(impl_->m);
    if (path.empty())
        impl_->shellFolders.erase(csidl);
    else
        impl_->shellFolders[csidl] = path;
}

String SimMachine::shellFolder(int csidl) const {
    Lock lk(impl_->m);
    auto it = impl_->shellFolders.find(csidl);
    return it == impl_->shellFolders.end() ? String() : it->second;
}

void SimMachine::setEnvironmentVariable(const String& name, const String& value) {
    Lock lk(impl_->m);
    if (value.empty())
        impl_->environment.erase(foldCase(name));
    else
        impl_->environment[foldCase(name)] = {name, value};
}

String SimMachine::environmentVariable(const String& name) const {
    Lock lk(impl_->m);
    auto it = impl_->environment.find(foldCase(name));
    return it == impl_->environment.end() ? String() : it->second.second;
}

} // namespace sim
