#include "SrcXLS/formats/VBAProject.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/VBACompression.h"
#include "platform/CodePages.h"
#include "platform/compound/CompoundFile.h"

#include <algorithm>

namespace xls {

namespace {

using platform::cfb::Element;

constexpr std::u16string_view VBAStorageName = u"VBA";
constexpr std::u16string_view DirStreamName = u"dir";
constexpr std::u16string_view ProjectStreamName = u"PROJECT";
constexpr std::u16string_view ProjectWmStreamName = u"PROJECTwm";
constexpr std::u16string_view PerformanceCacheName = u"_VBA_PROJECT";
// Module streams written anew start with this many bytes before the source.
constexpr uint32_t SourceOffset = 16;

[[noreturn]] void BadDir(const char* what) {
    throw XLSError(std::string("Bad VBA dir stream: ") + what);
}

std::u16string Decode(int codePage, std::span<const uint8_t> bytes) {
    return platform::DecodeSingleByte(
        codePage, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> Encode(int codePage, std::u16string_view text) {
    std::string bytes = platform::EncodeSingleByte(codePage, text);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::u16string DecodeUtf16(std::span<const uint8_t> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(GetU16(bytes.data() + 2 * i));
    return text;
}

std::vector<uint8_t> EncodeUtf16(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    TByteWriter w(bytes);
    for (char16_t c : text) w.U16(c);
    return bytes;
}

// Lines ended by CR LF (or a lone LF); text after the last line feed is a
// line only when keepTail is set.
std::vector<std::u16string> Lines(std::u16string_view text, bool keepTail = false) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    for (size_t lf = text.find(u'\n'); lf != text.npos; lf = text.find(u'\n', start)) {
        size_t end = lf > start && text[lf - 1] == u'\r' ? lf - 1 : lf;
        lines.emplace_back(text.substr(start, end - start));
        start = lf + 1;
    }
    if (keepTail && start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::u16string JoinLines(const TXLSWideStringList& list) {
    std::u16string text;
    for (int i = 0; i < list.GetCount(); ++i) text += list.GetItem(i) + u"\r\n";
    return text;
}

bool IsAttributeLine(const std::u16string& line) {
    static constexpr std::u16string_view prefix = u"attribute";
    if (line.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char16_t c = line[i] >= u'A' && line[i] <= u'Z' ? char16_t(line[i] + 32) : line[i];
        if (c != prefix[i]) return false;
    }
    return true;
}

// Reads dir records one at a time; every size is checked against the stream.
class TDirReader {
public:
    explicit TDirReader(std::span<const uint8_t> dir) : r(dir) {}
    bool Next(TVBADirRecord& rec) {
        if (r.AtEnd()) return false;
        if (r.Remaining() < 6) BadDir("a record header cut short");
        rec.Id = r.U16();
        uint64_t size = r.U32();
        if (rec.Id == vbadir::PROJECTVERSION) size += 2;
        if (size > r.Remaining()) BadDir("a record runs past its end");
        auto data = r.Bytes(size_t(size));
        rec.Data.assign(data.begin(), data.end());
        return true;
    }

private:
    TByteReader r;
};

void Put(TRecordStorageVBA& records, uint16_t id, std::span<const uint8_t> data = {}) {
    records.Add(id, data);
}

void PutU16(TRecordStorageVBA& records, uint16_t id, uint16_t v) {
    uint8_t b[2];
    xls::PutU16(b, v);
    records.Add(id, b);
}

void PutU32(TRecordStorageVBA& records, uint16_t id, uint32_t v) {
    uint8_t b[4];
    xls::PutU32(b, v);
    records.Add(id, b);
}

void PutText(TRecordStorageVBA& records, uint16_t id, uint16_t unicodeId, int codePage,
             std::u16string_view text) {
    records.Add(id, Encode(codePage, text));
    records.Add(unicodeId, EncodeUtf16(text));
}

const std::u16string& StreamNameOf(const TVBAModule& module) {
    return module.StreamName.empty() ? module.Name : module.StreamName;
}

// The dir records of a module made here, following the published layout.
TRecordStorageVBA GeneratedModuleRecords(const TVBAModule& module, int codePage) {
    TRecordStorageVBA records;
    records.Add(vbadir::MODULENAME, Encode(codePage, module.Name));
    records.Add(vbadir::MODULENAMEUNICODE, EncodeUtf16(module.Name));
    PutText(records, vbadir::MODULESTREAMNAME, vbadir::MODULESTREAMNAMEUNICODE, codePage,
            StreamNameOf(module));
    Put(records, 0x001C); // doc string
    Put(records, 0x0048);
    PutU32(records, vbadir::MODULEOFFSET, SourceOffset);
    PutU32(records, 0x001E, 0);      // help context
    PutU16(records, 0x002C, 0xFFFF); // cookie
    Put(records,
        module.Kind == TVBAModuleKind::Document ? vbadir::MODULETYPEDOCUMENT : vbadir::MODULETYPEPROCEDURAL);
    Put(records, vbadir::MODULEEND);
    return records;
}

} // namespace

// ---- dir records

void TRecordStorageVBA::Add(uint16_t id, std::span<const uint8_t> data) {
    records.push_back({id, std::vector<uint8_t>(data.begin(), data.end())});
}

const TVBADirRecord* TRecordStorageVBA::Find(uint16_t id) const {
    for (const auto& r : records)
        if (r.Id == id) return &r;
    return nullptr;
}

TVBADirRecord* TRecordStorageVBA::Find(uint16_t id) {
    for (auto& r : records)
        if (r.Id == id) return &r;
    return nullptr;
}

void TRecordStorageVBA::WriteAll(std::vector<uint8_t>& out) const {
    TByteWriter w(out);
    for (const auto& r : records) {
        w.U16(r.Id);
        w.U32(r.Id == vbadir::PROJECTVERSION ? 4 : uint32_t(r.Data.size()));
        w.Bytes(r.Data.data(), r.Data.size());
    }
}

// ---- the project

TXLSVBA::TXLSVBA() = default;
TXLSVBA::~TXLSVBA() = default;

void TXLSVBA::Clear() {
    modules.clear();
    DirRecords.Clear();
    Project = TXLSVBAProject();
    ProjectText.Clear();
    ProjectWm.clear();
    kept.reset();
    Loaded = false;
    KeepProject = false;
}

TVBAModuleSource& TXLSVBA::AddModule(std::u16string_view name, TVBAModuleKind kind) {
    auto module = std::make_unique<TVBAModuleSource>();
    module->Name = name;
    module->Kind = kind;
    modules.push_back(std::move(module));
    return *modules.back();
}

void TXLSVBA::Read(const Element& storage) {
    Clear();
    bool unparsed = false;
    if (!SkipDir) {
        const Element* vba = storage.Find(VBAStorageName);
        if (!vba || !vba->IsStorage()) throw XLSError("The macro project has no VBA storage");
        budgetLeft = MaxDecompressed;
        try {
            ReadDir(*vba);
            Loaded = true;
        } catch (const EVBATooLarge&) {
            // A project that would decompress past the bound is kept as
            // read: it is written back whole, its modules are not listed.
            Clear();
            unparsed = true;
            if (OnWarning)
                OnWarning("The macro project would decompress past " + std::to_string(MaxDecompressed >> 20) +
                          " MiB; it is kept as read, without its modules' sources");
        }
    }
    kept = storage.Clone();
    // What is written anew does not come from the copy.
    if (Rebuild && !unparsed)
        for (auto name : {VBAStorageName, ProjectStreamName, ProjectWmStreamName}) kept->Remove(name);
    ReadProjectStreams(storage);
    if (Rebuild && !unparsed) KeepProject = true;
}

void TXLSVBA::Charge(uint64_t bytes) {
    if (bytes > budgetLeft) throw EVBATooLarge("VBA project too large");
    budgetLeft -= bytes;
}

namespace {
// What holding a record or a line costs beside its bytes.
constexpr uint64_t ItemCost = 48;
} // namespace

void TXLSVBA::ReadDir(const Element& vba) {
    const Element* dirStream = vba.Find(DirStreamName);
    if (!dirStream || !dirStream->IsStream()) throw XLSError("The macro project has no dir stream");
    const std::vector<uint8_t> dir = VBADecompress(dirStream->Data, size_t(budgetLeft));
    Charge(dir.size());
    TDirReader reader(dir);
    TVBADirRecord rec;
    size_t moduleCount = 0;
    // The project's records run up to the first module or the end.
    for (;;) {
        if (!reader.Next(rec)) throw XLSError("EOF missing in VBA dir stream");
        Charge(ItemCost + rec.Data.size());
        if (rec.Id == vbadir::MODULENAME) break;
        if (rec.Id == vbadir::TERMINATOR) return;
        DirRecords.Add(rec.Id, rec.Data);
        if (rec.Id == vbadir::PROJECTCODEPAGE && rec.Data.size() >= 2)
            Project.CodePage = GetU16(rec.Data.data());
        if (rec.Id == vbadir::PROJECTNAME) Project.Name = Decode(Project.CodePage, rec.Data);
        if (rec.Id == vbadir::PROJECTMODULES) {
            if (rec.Data.size() < 2) BadDir("a module count without its value");
            moduleCount = GetU16(rec.Data.data());
        }
    }
    for (size_t m = 0; m < moduleCount; ++m) {
        if (m > 0 && !reader.Next(rec)) throw XLSError("EOF missing in VBA dir stream");
        auto module = std::make_unique<TVBAModuleSource>();
        std::u16string name8, stream8;
        for (;;) {
            if (rec.Id == vbadir::TERMINATOR) BadDir("fewer modules than its count");
            module->Records.Add(rec.Id, rec.Data);
            switch (rec.Id) {
            case vbadir::MODULENAME:
                name8 = Decode(Project.CodePage, rec.Data);
                break;
            case vbadir::MODULENAMEUNICODE:
                module->Name = DecodeUtf16(rec.Data);
                break;
            case vbadir::MODULESTREAMNAME:
                stream8 = Decode(Project.CodePage, rec.Data);
                break;
            case vbadir::MODULESTREAMNAMEUNICODE:
                module->StreamName = DecodeUtf16(rec.Data);
                break;
            case vbadir::MODULETYPEPROCEDURAL:
                module->Kind = TVBAModuleKind::Procedural;
                break;
            case vbadir::MODULETYPEDOCUMENT:
                module->Kind = TVBAModuleKind::Document;
                break;
            case vbadir::MODULEOFFSET:
                if (rec.Data.size() < 4) BadDir("a module offset without its value");
                module->Offset = GetU32(rec.Data.data());
                break;
            default:
                break;
            }
            if (rec.Id == vbadir::MODULEEND) break;
            if (!reader.Next(rec)) throw XLSError("EOF missing in VBA dir stream");
            Charge(ItemCost + rec.Data.size());
        }
        if (module->Name.empty()) module->Name = name8;
        if (module->StreamName.empty()) module->StreamName = stream8;
        ReadModuleSource(*module, vba);
        modules.push_back(std::move(module));
    }
    if (!reader.Next(rec) || rec.Id != vbadir::TERMINATOR) throw XLSError("EOF missing in VBA dir stream");
}

void TXLSVBA::ReadModuleSource(TVBAModuleSource& module, const Element& vba) {
    const Element* stream = vba.Find(StreamNameOf(module));
    if (!stream || !stream->IsStream())
        throw XLSError("VBA module stream missing: " + WideToUtf8(module.Name));
    if (module.Offset >= stream->Data.size())
        throw XLSError("Bad VBA module: its source starts past its stream");
    const std::vector<uint8_t> source =
        VBADecompress(std::span(stream->Data).subspan(module.Offset), size_t(budgetLeft));
    // The text is held twice (the lines and their decoding), each line with its cost.
    Charge(2 * source.size() + ItemCost * uint64_t(std::count(source.begin(), source.end(), '\n')));
    std::vector<std::u16string> lines = Lines(Decode(Project.CodePage, source));
    size_t first = 0;
    while (first < lines.size() && IsAttributeLine(lines[first])) module.Attributes.Add(lines[first++]);
    for (size_t i = first; i < lines.size(); ++i) module.Code.Add(lines[i]);
}

void TXLSVBA::ReadProjectStreams(const Element& storage) {
    if (const Element* project = storage.Find(ProjectStreamName); project && project->IsStream())
        for (auto& line : Lines(Decode(Project.CodePage, project->Data), true)) ProjectText.Add(line);
    if (const Element* wm = storage.Find(ProjectWmStreamName); wm && wm->IsStream()) ProjectWm = wm->Data;
}

// ---- writing

void TXLSVBA::Write(Element& target) {
    const bool rebuild = Rebuild && !modules.empty();
    if (rebuild) {
        WriteProjectText(target);
        WriteProjectWm(target);
        WriteModules(target.AddStorage(VBAStorageName));
    }
    if (!kept) return;
    target.ClassId = kept->ClassId;
    target.StateBits = kept->StateBits;
    target.CreationTime = kept->CreationTime;
    target.ModifiedTime = kept->ModifiedTime;
    for (const auto& child : kept->Children()) {
        if (rebuild && (platform::cfb::SameName(child->Name(), VBAStorageName) ||
                        platform::cfb::SameName(child->Name(), ProjectStreamName) ||
                        platform::cfb::SameName(child->Name(), ProjectWmStreamName)))
            continue;
        target.Adopt(child->Clone());
    }
}

void TXLSVBA::WriteProjectText(Element& target) const {
    TXLSWideStringList lines;
    if (KeepProject) {
        for (int i = 0; i < ProjectText.GetCount(); ++i) lines.Add(ProjectText.GetItem(i));
    } else {
        lines.Add(u"ID=\"{921117CD-5376-4972-9C98-4AA04F3488F7}\"");
        for (const auto& m : modules)
            lines.Add(m->Kind == TVBAModuleKind::Procedural ? u"Module=" + m->Name
                                                            : u"Document=" + m->Name + u"/&H00000000");
        lines.Add(u"Name=\"VBAProject\"");
        lines.Add(u"HelpContextID=\"0\"");
        lines.Add(u"VersionCompatible32=\"393222000\"");
    }
    target.AddStream(ProjectStreamName, Encode(Project.CodePage, JoinLines(lines)));
}

void TXLSVBA::WriteProjectWm(Element& target) const {
    std::vector<uint8_t> bytes;
    if (KeepProject) {
        bytes = ProjectWm;
    } else {
        TByteWriter w(bytes);
        for (const auto& m : modules) {
            std::vector<uint8_t> name8 = Encode(Project.CodePage, m->Name);
            w.Bytes(name8.data(), name8.size());
            w.U8(0);
            for (char16_t c : m->Name) w.U16(c);
            w.U16(0);
        }
        w.U16(0);
    }
    target.AddStream(ProjectWmStreamName, std::move(bytes));
}

void TXLSVBA::WriteModules(Element& vba) {
    for (auto& m : modules) {
        const std::vector<uint8_t> source =
            Encode(Project.CodePage, JoinLines(m->Attributes) + JoinLines(m->Code));
        std::vector<uint8_t> stream(SourceOffset, 0);
        const std::vector<uint8_t> compressed = VBACompress(source, BestMatch);
        stream.insert(stream.end(), compressed.begin(), compressed.end());
        vba.AddStream(StreamNameOf(*m), std::move(stream));
        m->Offset = SourceOffset;
        if (TVBADirRecord* offset = m->Records.Find(vbadir::MODULEOFFSET)) {
            offset->Data.assign(4, 0);
            xls::PutU32(offset->Data.data(), SourceOffset);
        }
    }
    vba.AddStream(DirStreamName, VBACompress(DirStream(), BestMatch));
    std::vector<uint8_t> cache{0xCC, 0x61, 0xA0, 0x00, 0x00, 0x01, 0x00, 0x00};
    cache.resize(cache.size() + 816, 0);
    vba.AddStream(PerformanceCacheName, std::move(cache));
}

std::vector<uint8_t> TXLSVBA::DirStream() const {
    if (DirRecords.Count() == 0) return GeneratedDirStream();
    std::vector<uint8_t> out;
    TRecordStorageVBA project = DirRecords;
    if (TVBADirRecord* count = project.Find(vbadir::PROJECTMODULES); count && count->Data.size() >= 2)
        xls::PutU16(count->Data.data(), uint16_t(modules.size()));
    project.WriteAll(out);
    for (const auto& m : modules) {
        if (m->Records.Count() > 0)
            m->Records.WriteAll(out);
        else
            GeneratedModuleRecords(*m, Project.CodePage).WriteAll(out);
    }
    TByteWriter(out).U16(vbadir::TERMINATOR);
    TByteWriter(out).U32(0);
    return out;
}

// A project made here: the published records for a Windows project of
// "VBAProject" (code page 1252 unless set) with a reference to the OLE
// automation library.
std::vector<uint8_t> TXLSVBA::GeneratedDirStream() const {
    const int cp = Project.CodePage;
    TRecordStorageVBA r;
    PutU32(r, 0x0001, 1);      // system kind: 32-bit Windows
    PutU32(r, 0x0002, 0x0409); // locale
    PutU32(r, 0x0014, 0x0409); // locale of invocations
    PutU16(r, vbadir::PROJECTCODEPAGE, uint16_t(cp));
    r.Add(vbadir::PROJECTNAME, Encode(cp, u"VBAProject"));
    Put(r, 0x0005); // doc string
    Put(r, 0x0040);
    Put(r, 0x0006); // help file
    Put(r, 0x003D);
    PutU32(r, 0x0007, 0); // help context
    PutU32(r, 0x0008, 0); // library flags
    {
        uint8_t version[6] = {1, 0, 0, 0, 0, 0};
        r.Add(vbadir::PROJECTVERSION, version);
    }
    Put(r, 0x000C); // constants
    Put(r, 0x003C);
    PutText(r, 0x0016, 0x003E, cp, u"stdole");
    {
        const std::string libid = "*\\G{00020430-0000-0000-C000-000000000046}#2.0#0#C:"
                                  "\\Windows\\System32\\stdole2.tlb#OLE Automation";
        std::vector<uint8_t> body;
        TByteWriter w(body);
        w.U32(uint32_t(libid.size()));
        w.Bytes(libid.data(), libid.size());
        w.U32(0);
        w.U16(0);
        r.Add(0x000D, body);
    }
    PutU16(r, vbadir::PROJECTMODULES, uint16_t(modules.size()));
    PutU16(r, 0x0013, 0xFFFF); // cookie
    std::vector<uint8_t> out;
    r.WriteAll(out);
    for (const auto& m : modules) GeneratedModuleRecords(*m, cp).WriteAll(out);
    TByteWriter(out).U16(vbadir::TERMINATOR);
    TByteWriter(out).U32(0);
    return out;
}

} // namespace xls
