// The macro project of a binary workbook: its "_VBA_PROJECT_CUR" storage
// is read (the dir stream, the modules and their sources) and kept whole,
// and written back exactly as it was read. With Rebuild set, the project is
// written anew from its modules instead.
#pragma once

#include "SrcXLS/model/WideStringList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform::cfb {
class Element;
}

namespace xls {

// The records of a dir stream, each {u16 id, u32 size, data}, in order.
struct TVBADirRecord {
    uint16_t Id = 0;
    std::vector<uint8_t> Data;
};

class TRecordStorageVBA {
public:
    void Add(uint16_t id, std::span<const uint8_t> data);
    void Clear() { records.clear(); }
    int Count() const { return int(records.size()); }
    const TVBADirRecord& Item(int i) const { return records[size_t(i)]; }
    TVBADirRecord& Item(int i) { return records[size_t(i)]; }
    // The first record of an id, or nullptr.
    const TVBADirRecord* Find(uint16_t id) const;
    TVBADirRecord* Find(uint16_t id);
    // Appends every record as it stands in a dir stream.
    void WriteAll(std::vector<uint8_t>& out) const;

private:
    std::vector<TVBADirRecord> records;
};

namespace vbadir {
constexpr uint16_t PROJECTNAME = 0x0004;
constexpr uint16_t PROJECTCODEPAGE = 0x0003;
// Its size field says 4 and six bytes follow.
constexpr uint16_t PROJECTVERSION = 0x0009;
constexpr uint16_t PROJECTMODULES = 0x000F;
constexpr uint16_t TERMINATOR = 0x0010;
constexpr uint16_t MODULENAME = 0x0019;
constexpr uint16_t MODULESTREAMNAME = 0x001A;
constexpr uint16_t MODULETYPEPROCEDURAL = 0x0021;
constexpr uint16_t MODULETYPEDOCUMENT = 0x0022;
constexpr uint16_t MODULEEND = 0x002B;
constexpr uint16_t MODULEOFFSET = 0x0031;
constexpr uint16_t MODULESTREAMNAMEUNICODE = 0x0032;
constexpr uint16_t MODULENAMEUNICODE = 0x0047;
} // namespace vbadir

// 0 procedural module, 1 document or class module.
enum class TVBAModuleKind : uint8_t { Procedural, Document };

class TVBAModule {
public:
    virtual ~TVBAModule() = default;
    std::u16string Name;
    // The stream in the VBA storage that holds the source; empty: Name.
    std::u16string StreamName;
    uint32_t Offset = 0; // of the compressed source in that stream
    TVBAModuleKind Kind = TVBAModuleKind::Procedural;
    // The leading "Attribute ..." lines of the source.
    TXLSWideStringList Attributes;
    TRecordStorageVBA Records; // its dir records as read
};

class TVBAModuleSource : public TVBAModule {
public:
    TXLSWideStringList Code; // the lines after the attributes
};

struct TXLSVBAProject {
    std::u16string Name;
    int CodePage = 1252; // of its names and sources
};

class TXLSVBA {
public:
    TXLSVBA();
    ~TXLSVBA();
    TXLSVBA(const TXLSVBA&) = delete;
    TXLSVBA& operator=(const TXLSVBA&) = delete;

    void Clear();
    // Reads a "_VBA_PROJECT_CUR" storage; a malformed one raises XLSError.
    void Read(const platform::cfb::Element& storage);
    // Writes the project into the (new, empty) "_VBA_PROJECT_CUR" storage.
    void Write(platform::cfb::Element& target);
    // Whether there is anything to write.
    bool HasContent() const { return kept != nullptr || !modules.empty(); }

    int ModuleCount() const { return int(modules.size()); }
    TVBAModuleSource& Module(int i) { return *modules[size_t(i)]; }
    const TVBAModuleSource& Module(int i) const { return *modules[size_t(i)]; }
    TVBAModuleSource& AddModule(std::u16string_view name, TVBAModuleKind kind);

    TXLSVBAProject Project;
    TXLSWideStringList ProjectText; // the lines of the "PROJECT" stream
    std::vector<uint8_t> ProjectWm; // the "PROJECTwm" stream
    TRecordStorageVBA DirRecords;   // the project's dir records as read
    bool Rebuild = false;           // write the project anew from the modules
    bool SkipDir = false;           // read no modules
    bool Loaded = false;            // the dir stream was read
    bool KeepProject = false;       // write PROJECT and PROJECTwm as read
    bool BestMatch = true;          // the compressor looks for the longest match
    // Told when a project is kept as read without its modules.
    std::function<void(std::string)> OnWarning;

    // What the dir stream and the module sources of one project may take
    // in memory once decompressed (each line and record counted with what
    // holding it costs); a project past it is kept as read, unparsed.
    static constexpr uint64_t MaxDecompressed = uint64_t(32) << 20;

private:
    void ReadDir(const platform::cfb::Element& vbaStorage);
    void ReadModuleSource(TVBAModuleSource& module, const platform::cfb::Element& vbaStorage);
    // Counts bytes against MaxDecompressed; raises EVBATooLarge past it.
    void Charge(uint64_t bytes);
    uint64_t budgetLeft = 0;
    void ReadProjectStreams(const platform::cfb::Element& storage);
    void WriteProjectText(platform::cfb::Element& target) const;
    void WriteProjectWm(platform::cfb::Element& target) const;
    void WriteModules(platform::cfb::Element& vbaStorage);
    std::vector<uint8_t> DirStream() const;
    std::vector<uint8_t> GeneratedDirStream() const;

    std::vector<std::unique_ptr<TVBAModuleSource>> modules;
    // The whole project storage as read (without what Rebuild writes anew).
    std::unique_ptr<platform::cfb::Element> kept;
};

} // namespace xls
