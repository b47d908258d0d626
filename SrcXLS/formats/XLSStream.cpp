#include "SrcXLS/formats/XLSStream.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/VBAProject.h"

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace xls {

namespace {

using platform::cfb::CompoundFile;
using platform::cfb::Element;

bool IsBookName(std::u16string_view name, std::u16string_view lower) {
    if (name.size() != lower.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i] >= u'A' && name[i] <= u'Z' ? char16_t(name[i] + 32) : name[i];
        if (c != lower[i]) return false;
    }
    return true;
}

constexpr std::u16string_view VBAStorageName = u"_VBA_PROJECT_CUR";

} // namespace

// The workbook stream of a write in a scratch file: bytes come at the end
// (kept in a block that goes to the file when full) or over earlier ones.
class TXLSStream::TSpill {
public:
    TSpill() : file(platform::TempFile::Create("XLS", ".tmp")), tail(Block) {}

    int64_t Size() const { return size; }
    int Descriptor() const { return file.Descriptor(); }

    void Write(int64_t at, const uint8_t* p, size_t n) {
        // Appending within the block: every record of a sheet comes this way.
        if (at == tailStart + int64_t(used) && n < Block - used) {
            std::memcpy(tail.data() + used, p, n);
            used += n;
            size = std::max(size, tailStart + int64_t(used));
            return;
        }
        // Bytes before the block are in the file already.
        if (at < tailStart) {
            const size_t head = size_t(std::min<int64_t>(int64_t(n), tailStart - at));
            Put(at, p, head);
            at += int64_t(head);
            p += head;
            n -= head;
        }
        while (n > 0) {
            // A gap left by a seek past the end reads as zeros.
            while (at - tailStart > int64_t(used)) {
                const size_t fill = size_t(std::min<int64_t>(at - tailStart, int64_t(Block))) - used;
                std::memset(tail.data() + used, 0, fill);
                used += fill;
                if (used == Block) Flush();
            }
            const size_t off = size_t(at - tailStart);
            const size_t k = std::min(n, Block - off);
            std::memcpy(tail.data() + off, p, k);
            used = std::max(used, off + k);
            at += int64_t(k);
            p += k;
            n -= k;
            if (used == Block) Flush();
        }
        size = std::max(size, tailStart + int64_t(used));
    }

    void Flush() {
        Put(tailStart, tail.data(), used);
        tailStart += int64_t(used);
        used = 0;
    }

private:
    static constexpr size_t Block = size_t(1) << 20;
    void Put(int64_t at, const uint8_t* p, size_t n) {
        while (n > 0) {
            ssize_t w = ::pwrite(file.Descriptor(), p, n, off_t(at));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0)
                throw platform::FileError(
                    platform::CannotWriteText(file.Path(), platform::FileErrorReason(errno)));
            p += w;
            at += w;
            n -= size_t(w);
        }
    }
    platform::TempFile file;
    std::vector<uint8_t> tail; // the block: its first `used` bytes follow the file's
    size_t used = 0;
    int64_t tailStart = 0;
    int64_t size = 0;
};

TXLSStream::TXLSStream(TXLSVBA* vba) : vba(vba) {}

TXLSStream::~TXLSStream() {
    Reset();
}

void TXLSStream::Reset() {
    root.reset();
    vbaStorage = nullptr;
    streamName.clear();
    fileName.clear();
    mode = Mode::Closed;
    data.clear();
    data.shrink_to_fit();
    onDisk.reset();
    windowStart = 0;
    spill.reset();
    pos = 0;
    streamSize = 0;
    pieceCounter = 0;
    headerPos = -1;
    splitLimit = -1;
    pieceLength = 0;
    piecePos = 0;
    joining = false;
}

TExcelVersion TXLSStream::OpenRead(const std::filesystem::path& name) {
    Reset();
    version = TExcelVersion::xvNone;
    // A file is read into memory once: a compound file's streams straight
    // from their sectors, a plain file whole.
    const bool compound = SourceStream ? CompoundFile::IsCompoundFile(*SourceStream)
                                       : CompoundFile::IsCompoundFile(name) || !std::filesystem::exists(name);
    mode = Mode::Reading;
    fileName = name;
    if (!compound) {
        if (SourceStream)
            data.assign(SourceStream->begin(), SourceStream->end());
        else
            data = platform::ReadWholeFileBytes(name.string());
        streamSize = int64_t(data.size());
        // A plain file is a BIFF2-BIFF4 stream when it starts with their BOF.
        // Some writers give such a single-sheet stream the BIFF5-BIFF8 BOF
        // id with the 6-byte body of the BIFF3-BIFF4 BOF: its records are
        // the older ones.
        if (data.size() >= 4 && data[0] == 0x09) {
            if (data[1] == 0x00) version = TExcelVersion::xvExcel21;
            if (data[1] == 0x02) version = TExcelVersion::xvExcel30;
            if (data[1] == 0x04) version = TExcelVersion::xvExcel40;
            if (data[1] == 0x08 && GetU16(data.data() + 2) == 6) version = TExcelVersion::xvExcel40;
        }
        return version;
    }

    // The workbook stream stays in the file and is read as the records go by.
    const auto isBook = [](std::u16string_view n) {
        return IsBookName(n, u"book") || IsBookName(n, u"workbook");
    };
    root = std::make_unique<CompoundFile>(SourceStream ? CompoundFile::Parse(*SourceStream)
                                                       : CompoundFile::Load(name, isBook));
    Element& top = root->Root();
    if (ExtraObjects) {
        ExtraObjects->Objects = std::make_unique<CompoundFile>();
        Element& kept = ExtraObjects->Objects->Root();
        kept.ClassId = top.ClassId;
        kept.StateBits = top.StateBits;
        // They move over: the parsed tree is only read from here on.
        std::vector<std::u16string> names;
        for (auto& c : top.Children())
            if (!IsBookName(c->Name(), u"book") && !IsBookName(c->Name(), u"workbook") &&
                c->Name() != VBAStorageName)
                names.push_back(c->Name());
        for (const auto& n : names) kept.Adopt(top.Detach(n));
    }
    Element* book = nullptr;
    Element* workbook = nullptr;
    for (auto& c : top.Children()) {
        if (IsBookName(c->Name(), u"book")) book = c.get();
        if (IsBookName(c->Name(), u"workbook")) workbook = c.get();
        if (c->Name() == VBAStorageName && c->IsStorage() && ReadMacros && vba) vbaStorage = c.get();
    }
    if (!book && !workbook) throw XLSError("The file is not an Excel workbook");
    Element* stream = workbook ? workbook : book;
    if (!stream->IsStream()) return version;
    if (vbaStorage) vba->Read(*vbaStorage);
    version = workbook ? TExcelVersion::xvExcel97 : TExcelVersion::xvExcel50;
    streamName = stream->Name();
    onDisk = root->TakeOnDisk(*stream);
    if (onDisk) {
        streamSize = int64_t(onDisk->Size());
        data.reserve(std::min(Window, size_t(streamSize)));
    } else {
        data = std::move(stream->Data);
        streamSize = int64_t(data.size());
    }
    return version;
}

void TXLSStream::OpenWrite(const std::filesystem::path& name, TExcelVersion v) {
    Reset();
    version = v;
    if (!TargetStream && name.empty()) throw XLSError("Filename is missing");
    fileName = name;
    mode = Mode::Writing;
    if (SpillToFile && !TargetStream) spill = std::make_unique<TSpill>();
    if (v >= TExcelVersion::xvExcel50) {
        root = std::make_unique<CompoundFile>();
        if (ExtraObjects && ExtraObjects->Objects) ExtraObjects->Objects->Root().CopyTo(root->Root());
        streamName = v == TExcelVersion::xvExcel50 ? u"Book" : u"Workbook";
    }
}

// A read "_VBA_PROJECT_CUR" never reaches the extra objects: only the
// project writes it, and only while macros are kept.
void TXLSStream::WriteVBA() {
    if (mode != Mode::Writing || !root || !ReadMacros || !vba || !vba->HasContent()) return;
    vba->Write(root->Root().AddStorage(VBAStorageName));
}

void TXLSStream::Close() {
    if (mode != Mode::Writing) {
        Reset();
        return;
    }
    struct ResetAtEnd {
        TXLSStream* s;
        ~ResetAtEnd() { s->Reset(); }
    } resetAtEnd{this};
    if (spill) {
        spill->Flush();
        if (root) {
            Element& stream = root->Root().AddStream(streamName);
            stream.External = Element::ExternalBytes{spill->Descriptor(), uint64_t(spill->Size())};
            root->Save(fileName);
            return;
        }
        // A plain BIFF4 file is small: it goes through memory.
        data.resize(size_t(spill->Size()));
        if (!data.empty() &&
            ::pread(spill->Descriptor(), data.data(), data.size(), 0) != ssize_t(data.size()))
            throw XLSError("Cannot read back the workbook being written");
    }
    if (root) {
        root->Root().AddStream(streamName, std::move(data));
        if (!TargetStream) {
            root->Save(fileName);
            return;
        }
        std::vector<uint8_t> image = root->Serialize();
        TargetStream->insert(TargetStream->end(), image.begin(), image.end());
        return;
    }
    if (TargetStream)
        TargetStream->insert(TargetStream->end(), data.begin(), data.end());
    else
        platform::WriteFileAtomic(fileName.string(),
                                  std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

int64_t TXLSStream::WrittenSize() const {
    return spill ? spill->Size() : int64_t(data.size());
}

void TXLSStream::Discard() {
    Reset();
}

// ---- reading

size_t TXLSStream::InWindow(int64_t at, size_t want) {
    if (at < 0 || at >= streamSize) return 0;
    const int64_t end = windowStart + int64_t(data.size());
    const bool inside = at >= windowStart && at < end;
    if (!onDisk || (inside && at + int64_t(want) <= end)) return inside ? size_t(end - at) : 0;
    windowStart = at;
    data.resize(size_t(std::min<int64_t>(int64_t(Window), streamSize - at)));
    onDisk->Read(uint64_t(at), data.data(), data.size());
    return data.size();
}

int TXLSStream::ReadPlain(void* buf, int count) {
    if (count <= 0 || pos >= streamSize) return 0;
    const int n = int(std::min<int64_t>(count, streamSize - pos));
    // Most reads lie inside the window.
    if (pos < windowStart || pos + n > windowStart + int64_t(data.size())) return ReadAcross(buf, n);
    std::memcpy(buf, data.data() + (pos - windowStart), size_t(n));
    pos += n;
    return n;
}

int TXLSStream::ReadAcross(void* buf, int n) {
    auto* out = static_cast<uint8_t*>(buf);
    for (int done = 0; done < n;) {
        const size_t left = size_t(n - done);
        const size_t take = std::min(left, InWindow(pos, std::min(left, Window)));
        std::memcpy(out + done, data.data() + (pos - windowStart), take);
        done += int(take);
        pos += int64_t(take);
    }
    return n;
}

int TXLSStream::ReadHeader(TBIFFHeader& header) {
    uint8_t b[4];
    int n = ReadPlain(b, 4);
    if (n < 4) return n;
    header.Id = uint16_t(b[0] | b[1] << 8);
    header.Length = uint16_t(b[2] | b[3] << 8);
    pieceLength = header.Length;
    piecePos = 0;
    return 4;
}

int TXLSStream::ReadRecordData(void* buf, int count) {
    if (joining) return ReadJoined(static_cast<uint8_t*>(buf), count);
    int n = ReadPlain(buf, count);
    piecePos += n;
    return n;
}

// A joined record is read across its CONTINUE pieces, each piece taken with
// the length its own header gives.
int TXLSStream::ReadJoined(uint8_t* buf, int count) {
    int total = 0;
    while (count > 0) {
        int64_t avail = pieceLength - piecePos;
        if (avail > 0) {
            int want = int(std::min<int64_t>(avail, count));
            int n = ReadPlain(buf, want);
            buf += n;
            total += n;
            count -= n;
            piecePos += n;
            if (n < want) break; // the stream ends inside the piece
            continue;
        }
        TBIFFHeader h;
        if (ReadHeader(h) < 4 || (h.Id != biff::CONTINUE && h.Id != biff::MSODRAWINGGROUP &&
                                  h.Id != biff::CHARTCONTINUE && h.Id != biff::CONTINUEFRT))
            throw XLSError("CONTINUE record is missing");
        if (h.Id == biff::CONTINUEFRT) {
            // Its own future-record header comes first and is not part of the data.
            uint8_t frt[14];
            if (h.Length < sizeof frt || ReadPlain(frt, sizeof frt) < int(sizeof frt))
                throw XLSError("CONTINUE record is missing");
            piecePos = sizeof frt;
        }
    }
    return total;
}

int TXLSStream::ReadUnencrypted(void* buf, int count) {
    int n = ReadPlain(buf, count);
    piecePos += n;
    return n;
}

int TXLSStream::ReadString(int count, std::u16string& text) {
    text.clear();
    uint8_t flag = 0;
    if (ReadRecordData(&flag, 1) < 1) throw XLSError("Bad record in file");
    if (count <= 0) return 1;
    if (flag & 1) {
        std::vector<uint8_t> raw(size_t(count) * 2);
        if (ReadRecordData(raw.data(), int(raw.size())) < int(raw.size()))
            throw XLSError("Bad record in file");
        text.resize(size_t(count));
        for (int i = 0; i < count; ++i) text[i] = char16_t(raw[2 * i] | raw[2 * i + 1] << 8);
        return 2 * count + 1;
    }
    std::vector<uint8_t> raw(static_cast<size_t>(count));
    if (ReadRecordData(raw.data(), count) < count) throw XLSError("Bad record in file");
    text = Decode8Bit(raw.data(), raw.size());
    return count + 1;
}

std::u16string TXLSStream::Decode8Bit(const uint8_t* bytes, size_t count) const {
    if (version < TExcelVersion::xvExcel97)
        return platform::DecodeSingleByte(CodePage,
                                          std::string_view(reinterpret_cast<const char*>(bytes), count));
    return std::u16string(bytes, bytes + count);
}

uint16_t TXLSStream::PeekRecordId() {
    if (streamSize - pos < 4) return 0;
    InWindow(pos, 4);
    const uint8_t* p = data.data() + (pos - windowStart);
    return uint16_t(p[0] | p[1] << 8);
}

uint16_t TXLSStream::PeekRecordLength() {
    if (streamSize - pos < 4) return 0;
    InWindow(pos, 4);
    const uint8_t* p = data.data() + (pos - windowStart);
    return uint16_t(p[2] | p[3] << 8);
}

int64_t TXLSStream::Seek(int64_t offset, int origin) {
    int64_t base = origin == 0 ? 0 : origin == 1 ? pos : mode == Mode::Writing ? WrittenSize() : streamSize;
    if (base + offset < 0) throw XLSError("Seek before the start of the stream");
    pos = base + offset;
    return pos;
}

// The piece position is kept from the record's header on, so bytes read
// before joining starts count too.
void TXLSStream::BeginJoin() {
    joining = true;
}

void TXLSStream::EndJoin() {
    joining = false;
}

// ---- writing

size_t TXLSStream::WriteRaw(const void* src, size_t count) {
    if (mode != Mode::Writing) throw XLSError("The stream is not open for writing");
    const uint8_t* p = static_cast<const uint8_t*>(src);
    if (spill) {
        spill->Write(pos, p, count);
        pos += int64_t(count);
        return count;
    }
    if (pos == int64_t(data.size())) {
        data.insert(data.end(), p, p + count);
    } else {
        if (size_t(pos) + count > data.size()) data.resize(size_t(pos) + count);
        std::memcpy(data.data() + pos, p, count);
    }
    pos += int64_t(count);
    return count;
}

void TXLSStream::WriteHeader(uint16_t id, uint16_t length) {
    uint8_t b[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(length), uint8_t(length >> 8)};
    WriteRaw(b, 4);
}

void TXLSStream::WriteWordRecord(uint16_t id, uint16_t value) {
    WriteHeader(id, 2);
    WriteWord(value);
}

void TXLSStream::WriteRawRecord(uint16_t id, const void* body, uint16_t length) {
    WriteHeader(id, length);
    WriteRaw(body, length);
}

size_t TXLSStream::WriteRecordData(const void* body, size_t count) {
    if (splitLimit > 0) {
        WriteSplit(static_cast<const uint8_t*>(body), count);
        return count;
    }
    size_t n = WriteRaw(body, count);
    pieceCounter += int64_t(count);
    return n;
}

void TXLSStream::PatchWord(int64_t offset, uint16_t value) {
    int64_t back = pos;
    pos = offset;
    WriteWord(value);
    pos = back;
}

void TXLSStream::WriteSplit(const uint8_t* p, size_t count) {
    while (pieceCounter + int64_t(count) > splitLimit) {
        size_t take = size_t(splitLimit - pieceCounter);
        PatchWord(headerPos + 2, uint16_t(splitLimit));
        WriteRaw(p, take);
        p += take;
        count -= take;
        headerPos = pos;
        WriteHeader(biff::CONTINUE, 0);
        pieceCounter = 0;
    }
    WriteRaw(p, count);
    pieceCounter += int64_t(count);
}

void TXLSStream::BeginContinued(int limit) {
    splitLimit = limit;
    pieceCounter = 0;
    headerPos = pos;
}

void TXLSStream::EndContinued() {
    if (splitLimit > 0 && pieceCounter > 0) PatchWord(headerPos + 2, uint16_t(pieceCounter));
    splitLimit = -1;
}

void TXLSStream::WriteDWord(uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    WriteRaw(b, 4);
}

void TXLSStream::WriteWord(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    WriteRaw(b, 2);
}

void TXLSStream::WriteByte(uint8_t v) {
    WriteRaw(&v, 1);
}

// The character count (u16 or u8, not counted toward a split), then the
// whole buffer with its flag byte; an empty buffer is a count of 0 alone.
void TXLSStream::WriteStringBuffer(std::span<const uint8_t> buf, bool wordCount) {
    size_t chars = buf.empty() ? 0 : buf[0] == 1 ? (buf.size() - 1) / 2 : buf.size() - 1;
    if (chars > (wordCount ? 0xFFFFu : 0xFFu)) throw XLSError("String too long");
    if (wordCount)
        WriteWord(uint16_t(chars));
    else
        WriteByte(uint8_t(chars));
    if (!buf.empty()) WriteRecordData(buf.data(), buf.size());
}

void TXLSStream::WriteString16(std::span<const uint8_t> buf) {
    WriteStringBuffer(buf, true);
}

void TXLSStream::WriteString8(std::span<const uint8_t> buf) {
    WriteStringBuffer(buf, false);
}

void TXLSStream::WriteWideString(std::u16string_view text, bool withCount) {
    if (text.size() > 0xFFFF) throw XLSError("String too long");
    if (withCount) WriteWord(uint16_t(text.size()));
    if (text.empty()) return;
    std::vector<uint8_t> buf(1 + 2 * text.size());
    buf[0] = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        buf[1 + 2 * i] = uint8_t(text[i]);
        buf[2 + 2 * i] = uint8_t(text[i] >> 8);
    }
    WriteRecordData(buf.data(), buf.size());
}

void TXLSStream::WriteLongRecord(uint16_t id, const void* body, size_t length) {
    // Its pieces are cut here; a split limit around it would cut them again.
    if (splitLimit > 0) throw XLSError("WriteLongRecord inside a continued record");
    const size_t limit = size_t(MaxRecordSize(version));
    const uint8_t* p = static_cast<const uint8_t*>(body);
    WriteWord(id);
    size_t first = std::min(length, limit);
    WriteWord(uint16_t(first));
    if (first > 0) WriteRecordData(p, first);
    for (size_t done = first; done < length;) {
        size_t n = std::min(length - done, limit);
        WriteWord(biff::CONTINUE);
        WriteWord(uint16_t(n));
        WriteRecordData(p + done, n);
        done += n;
    }
}

void TXLSStream::WriteArea(int32_t a, int32_t b, int32_t c, int32_t d) {
    if (version > TExcelVersion::xvExcel97) throw XLSError("Unhandled Excel version");
    uint8_t buf[8];
    int32_t v[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) {
        buf[2 * i] = uint8_t(v[i]);
        buf[2 * i + 1] = uint8_t(v[i] >> 8);
    }
    WriteRecordData(buf, sizeof buf);
}

void TXLSStream::WriteMSOHeader(uint16_t ver, uint16_t instance, uint16_t recType, uint32_t length) {
    uint16_t verInst = uint16_t(ver + 16 * instance);
    uint8_t buf[8] = {uint8_t(verInst), uint8_t(verInst >> 8), uint8_t(recType),      uint8_t(recType >> 8),
                      uint8_t(length),  uint8_t(length >> 8),  uint8_t(length >> 16), uint8_t(length >> 24)};
    WriteRecordData(buf, sizeof buf);
}

// ---- encryption

bool TXLSStream::StartDecryption(std::span<const uint8_t> filePass, std::u16string_view password) {
    TRC4Key key;
    if (mode != Mode::Reading || !VerifyPassword(filePass, password, key)) return false;
    // The records are decrypted in place, all at once: the stream comes into memory whole.
    if (onDisk) {
        data.resize(size_t(streamSize));
        onDisk->Read(0, data.data(), data.size());
        windowStart = 0;
        onDisk.reset();
    }
    CryptRecords(data, size_t(pos), key);
    return true;
}

void TXLSStream::EncryptWritten(int64_t from, const TRC4Key& key) {
    if (mode != Mode::Writing || spill) throw XLSError("The stream is not open for writing");
    CryptRecords(data, size_t(from), key);
}

} // namespace xls
