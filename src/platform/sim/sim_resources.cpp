// The Resources port: the resource library "KTRResource.dll" and the program's own module,
// both backed by the compiled KTRResource.rc embedded at build time.
#include "sim_world.h"

#include "text.h"

// Generated from KTRResource.res by the native build.
extern const unsigned char qa_resource_blob[];
extern const std::size_t qa_resource_blob_size;

namespace sim {

const res::ResourceSet* SimPc::Impl::resourcesOf(Module module) {
    if (module != kProgramModule && !(module == kLibraryModule && libraryLoaded))
        return nullptr;
    if (!resourcesParsed) {
        resourcesParsed = true;
        std::string error;
        resourceSet =
            customBlob
                ? res::ResourceSet::fromBytes(resourceBlob.data(), resourceBlob.size(), error)
                : res::ResourceSet::fromBytes(qa_resource_blob, qa_resource_blob_size, error);
        if (!resourceSet)
            failures.push_back("simulated PC: the resources cannot be read: " + error);
    }
    return resourceSet ? &*resourceSet : nullptr;
}

plat::HIcon SimPc::Impl::iconHandle(Module module, int id, int size) {
    // One handle per module, icon and size, kept (as LoadIcon shares its handles).
    auto [it, inserted] = icons.emplace(std::make_tuple(module, id, size), nextIcon);
    if (inserted) {
        iconIds[nextIcon] = id;
        if (size)
            iconSizes[nextIcon] = size;
        nextIcon += 4;
    }
    return it->second;
}

namespace {

class ResourcesPort final : public plat::Resources {
public:
    explicit ResourcesPort(SimPc::Impl& w) : w_(w) {}

    Module loadLibrary(const String& name) override {
        Lock lk(w_.m);
        // LoadLibraryW appends ".dll" to a name without an extension.
        String file = foldCase(name.substr(
            name.find_last_of(u"\\/") == String::npos ? 0 : name.find_last_of(u"\\/") + 1));
        if (file.find(u'.') == String::npos)
            file += u".dll";
        if (file != u"ktrresource.dll" || !w_.libraryPresent)
            return 0; // ERROR_MOD_NOT_FOUND
        w_.libraryLoaded = true;
        return kLibraryModule;
    }

    Module programModule() override { return kProgramModule; }

    bool loadString(Module module, std::uint32_t id, String& out) override {
        Lock lk(w_.m);
        out.clear();
        const res::ResourceSet* set = w_.resourcesOf(module);
        return set && set->loadString(id, out);
    }

    plat::HIcon loadIcon(Module module, int id) override {
        Lock lk(w_.m);
        return hasIcon(module, id) ? w_.iconHandle(module, id) : 0;
    }

    // The simulated PC has one monitor: its DPI gives the size, as SM_CXSMICON scales (16 pixels
    // at 96 DPI).
    plat::HIcon loadSmallIcon(Module module, int id, Hwnd) override {
        Lock lk(w_.m);
        return hasIcon(module, id) ? w_.iconHandle(module, id, static_cast<int>(16 * w_.dpi / 96))
                                   : 0;
    }

    plat::HBitmap loadBitmap(Module module, int id) override {
        Lock lk(w_.m);
        const res::ResourceSet* set = w_.resourcesOf(module);
        if (!set || id <= 0 || id > 0xFFFF ||
            !set->find(res::kTypeBitmap, static_cast<std::uint16_t>(id)))
            return 0;
        // Every LoadBitmap makes a new bitmap object.
        const plat::HBitmap h = w_.nextBitmap;
        w_.nextBitmap += 4;
        w_.bitmaps[h] = {id, w_.callerProcess(lk)};
        return h;
    }

    String programFile() override { return SimPc::kProgramPath; }

private:
    // Lock held.
    bool hasIcon(Module module, int id) {
        const res::ResourceSet* set = w_.resourcesOf(module);
        return set && id > 0 && id <= 0xFFFF &&
               set->find(res::kTypeGroupIcon, static_cast<std::uint16_t>(id));
    }

    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::Resources> makeResourcesPort(SimPc::Impl& w) {
    return std::make_unique<ResourcesPort>(w);
}

} // namespace sim
