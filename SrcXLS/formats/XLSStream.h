// The BIFF record stream: the one channel through which every record of a
// binary workbook is read and written, whether it lives in the "Workbook" or
// "Book" stream of a compound file or in a plain BIFF2-BIFF4 file. A workbook
// stream read from a compound file is read through a window that moves along
// it (whole once it is decrypted); a written file appears on disk only when
// the stream is closed.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/BIFFEncryption.h"
#include "platform/compound/CompoundFile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXLSVBA;

namespace biff {
constexpr uint16_t CONTINUE = 0x003C;
constexpr uint16_t MSODRAWINGGROUP = 0x00EB;
constexpr uint16_t CONTINUEFRT = 0x0866;
constexpr uint16_t CHARTCONTINUE = 0x1066;
} // namespace biff

struct TBIFFHeader {
    uint16_t Id = 0;
    uint16_t Length = 0;
};

// The compound-file elements of a read workbook other than its workbook
// streams and its macro storage; they are written back with the workbook.
class TExtraObjects {
public:
    void Clear() { Objects.reset(); }
    bool Empty() const { return !Objects || Objects->Root().Children().empty(); }
    std::unique_ptr<platform::cfb::CompoundFile> Objects;
};

class TXLSStream {
public:
    explicit TXLSStream(TXLSVBA* vba = nullptr);
    // Drops a write that was not closed: nothing half-written reaches the disk.
    ~TXLSStream();
    TXLSStream(const TXLSStream&) = delete;
    TXLSStream& operator=(const TXLSStream&) = delete;

    // Set by the owner before opening. The caller's buffers are not owned: a
    // read takes the image from SourceStream instead of the file, a write
    // appends the finished image to TargetStream instead of writing a file.
    const std::vector<uint8_t>* SourceStream = nullptr;
    std::vector<uint8_t>* TargetStream = nullptr;
    TExtraObjects* ExtraObjects = nullptr;
    bool ReadMacros = false;
    // A write to a file may keep the workbook stream in a scratch file as it
    // grows instead of in memory (not when it is to be encrypted in place).
    bool SpillToFile = false;
    // Code page of 8-bit text in BIFF2-BIFF5 files (the CODEPAGE record's value).
    int CodePage = 1251;

    // Opens a workbook for reading and answers its version: xvExcel97 for a
    // "Workbook" stream, xvExcel50 for "Book", xvExcel21 to xvExcel40 for a
    // plain file by its BOF, xvNone when the stream cannot be used.
    TExcelVersion OpenRead(const std::filesystem::path& fileName);
    void OpenWrite(const std::filesystem::path& fileName, TExcelVersion version);
    void WriteVBA();
    // Finishes a write (builds the image and writes it out) and closes.
    void Close();
    // Closes without writing anything.
    void Discard();

    TExcelVersion Version() const { return version; }
    // Size of the workbook stream or plain file as read.
    int64_t Size() const { return streamSize; }
    bool IsCompound() const { return root != nullptr; }
    // The compound file being read or built (nullptr for plain files).
    platform::cfb::Element* RootStorage() { return root ? &root->Root() : nullptr; }
    // The "_VBA_PROJECT_CUR" storage of a read file, when macros are read.
    const platform::cfb::Element* VBAStorage() const { return vbaStorage; }
    TXLSVBA* VBA() const { return vba; }
    // The macro project that reads the "_VBA_PROJECT_CUR" storage of a read
    // file (when ReadMacros is on) and writes it into a written one.
    void SetVBA(TXLSVBA* project) { vba = project; }

    // Reading; each returns the number of bytes read.
    int ReadHeader(TBIFFHeader& header);
    int ReadRecordData(void* buf, int count);
    int ReadUnencrypted(void* buf, int count);
    int ReadString(int count, std::u16string& text);
    uint16_t PeekRecordId();
    uint16_t PeekRecordLength();
    // origin 0 from the start, 1 from the current position, 2 from the end.
    int64_t Seek(int64_t offset, int origin);
    int64_t Position() const { return pos; }
    void BeginJoin();
    void EndJoin();

    // Writing.
    size_t WriteRaw(const void* data, size_t count);
    void WriteHeader(uint16_t id, uint16_t length);
    void WriteWordRecord(uint16_t id, uint16_t value);
    void WriteRawRecord(uint16_t id, const void* data, uint16_t length);
    size_t WriteRecordData(const void* data, size_t count);
    void WriteDWord(uint32_t v);
    void WriteWord(uint16_t v);
    void WriteByte(uint8_t v);
    // buf is a BIFF string buffer: a flag byte (1 = UTF-16LE follows, else
    // 8-bit characters) and the characters.
    void WriteString16(std::span<const uint8_t> buf);
    void WriteString8(std::span<const uint8_t> buf);
    void WriteWideString(std::u16string_view text, bool withCount);
    void WriteLongRecord(uint16_t id, const void* data, size_t length);
    void WriteArea(int32_t a, int32_t b, int32_t c, int32_t d);
    void WriteMSOHeader(uint16_t version, uint16_t instance, uint16_t recType, uint32_t length);
    // Between these, record data beyond limit bytes goes on in CONTINUE records.
    void BeginContinued(int limit);
    void EndContinued();

    // Encryption. Reading: when the password opens the stream (filePass is
    // the FILEPASS body just read), everything after it is decrypted at once.
    bool StartDecryption(std::span<const uint8_t> filePass, std::u16string_view password);
    // Writing: encrypts what was written after the FILEPASS record that ends at `from`.
    void EncryptWritten(int64_t from, const TRC4Key& key);

    // Decodes 8-bit text: Latin-1 in BIFF8, CodePage below.
    std::u16string Decode8Bit(const uint8_t* bytes, size_t count) const;

private:
    enum class Mode : uint8_t { Closed, Reading, Writing };

    int ReadPlain(void* buf, int count);
    // n bytes (all within the stream) that the window does not hold yet.
    int ReadAcross(void* buf, int n);
    // Bytes of the window from `at` on, moved there first when fewer than
    // `want` (at most Window) are in it; 0 past the end.
    size_t InWindow(int64_t at, size_t want);
    int ReadJoined(uint8_t* buf, int count);
    void WriteSplit(const uint8_t* data, size_t count);
    void WriteStringBuffer(std::span<const uint8_t> buf, bool wordCount);
    void PatchWord(int64_t offset, uint16_t value);
    void Reset();
    int64_t WrittenSize() const;

    class TSpill;

    TXLSVBA* vba;
    std::unique_ptr<platform::cfb::CompoundFile> root;
    const platform::cfb::Element* vbaStorage = nullptr;
    std::u16string streamName;
    std::filesystem::path fileName;
    Mode mode = Mode::Closed;
    TExcelVersion version = TExcelVersion::xvNone;
    // The workbook stream or plain file, read or being written, and the
    // position in it. Reading a stream left in its file, data holds the bytes
    // from windowStart on.
    std::vector<uint8_t> data;
    std::unique_ptr<platform::cfb::StreamOnDisk> onDisk;
    int64_t windowStart = 0;
    static constexpr size_t Window = size_t(256) << 10;
    // Writing with SpillToFile: the stream's bytes, in place of data.
    std::unique_ptr<TSpill> spill;
    int64_t pos = 0;
    int64_t streamSize = 0;
    // Splitting on write: bytes in the current piece, its header's position, the limit.
    int64_t pieceCounter = 0;
    int64_t headerPos = -1;
    int64_t splitLimit = -1;
    // Joining on read: length of the current piece and the position in it.
    int64_t pieceLength = 0;
    int64_t piecePos = 0;
    bool joining = false;
};

} // namespace xls
