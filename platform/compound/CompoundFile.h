// Compound files (structured storage) held wholly in memory: a tree of
// storages and streams parsed from an image and serialised back into one.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::cfb {

// A malformed image, a refused name or a failed file operation.
class CompoundFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Clsid = std::array<uint8_t, 16>;

enum class ElementType : uint8_t { Storage, Stream };

// The first eight bytes of every image.
inline constexpr std::array<uint8_t, 8> Signature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Longest element name the format can hold.
constexpr size_t MaxNameLength = 31;
// Streams shorter than this live in the mini stream.
constexpr uint32_t MiniStreamCutoff = 4096;

// Orders names the way the format's directory does: shorter names first,
// equal lengths by their upper-cased characters.
int CompareNames(std::u16string_view a, std::u16string_view b);
// True when the names are equal apart from letter case.
bool SameName(std::u16string_view a, std::u16string_view b);

struct TreeAccess;
class ByteSource;

// The bytes of a large stream that Load left in its file, read in pieces as
// they are needed instead of whole; it keeps the file open.
class StreamOnDisk {
public:
    uint64_t Size() const { return size; }
    // n bytes from off, off + n within Size(); sectors past the end of a file
    // cut short read as zeros, as they do when the stream is read whole.
    void Read(uint64_t off, uint8_t* out, size_t n) const;

private:
    friend struct TreeAccess;
    struct Run {
        uint64_t streamOffset;
        uint64_t fileOffset;
        uint64_t length;
    };
    std::shared_ptr<const ByteSource> file;
    std::vector<Run> runs;
    uint64_t size = 0;
};

// One storage or stream. Storages own their children; streams own their bytes.
class Element {
public:
    Element(ElementType type, std::u16string name);

    ElementType Type() const { return type; }
    bool IsStorage() const { return type == ElementType::Storage; }
    bool IsStream() const { return type == ElementType::Stream; }
    const std::u16string& Name() const { return name; }

    Clsid ClassId{};
    uint32_t StateBits = 0;
    uint64_t CreationTime = 0;
    uint64_t ModifiedTime = 0;
    // The stream's bytes; empty for a storage.
    std::vector<uint8_t> Data;
    // A large stream whose bytes lie in an open file instead (Size bytes from
    // its start), read when the image is written; the file is the caller's.
    struct ExternalBytes {
        int Descriptor = -1;
        uint64_t Size = 0;
    };
    std::optional<ExternalBytes> External;

    const std::vector<std::unique_ptr<Element>>& Children() const { return children; }
    // Child by name, letter case ignored; nullptr when there is none.
    Element* Find(std::u16string_view childName);
    const Element* Find(std::u16string_view childName) const;
    Element* FindStream(std::u16string_view childName);
    Element* FindStorage(std::u16string_view childName);

    // Create a child, replacing any of the same name. Names longer than 31
    // characters or empty are refused; only storages have children.
    Element& AddStream(std::u16string_view childName, std::vector<uint8_t> bytes = {});
    Element& AddStorage(std::u16string_view childName);
    // Takes over a detached element (from Clone or Detach) as a child.
    Element& Adopt(std::unique_ptr<Element> child);
    // Removes the child of that name; false when there was none.
    bool Remove(std::u16string_view childName);
    std::unique_ptr<Element> Detach(std::u16string_view childName);

    // Deep copy with CLSIDs, state bits and times.
    std::unique_ptr<Element> Clone() const;
    // Copies this storage's class id, state bits and every child into target,
    // replacing children of the same names there.
    void CopyTo(Element& target) const;

private:
    friend struct TreeAccess;
    ElementType type;
    std::u16string name;
    std::vector<std::unique_ptr<Element>> children;
};

// A compound file: the root storage and what lies under it.
class CompoundFile {
public:
    CompoundFile();

    Element& Root() { return *root; }
    const Element& Root() const { return *root; }

    // The signature test on bytes or on a file's first bytes.
    static bool IsCompoundFile(std::span<const uint8_t> bytes);
    static bool IsCompoundFile(const std::filesystem::path& file);

    // Parses a version 3 or 4 image; a malformed one raises CompoundFileError.
    static CompoundFile Parse(std::span<const uint8_t> image);
    static CompoundFile Load(const std::filesystem::path& file);
    // As Load, but the large streams directly under the root whose names
    // leaveOnDisk picks are not read: their Data stays empty and TakeOnDisk
    // hands out their bytes. Their chains are checked all the same.
    static CompoundFile Load(const std::filesystem::path& file,
                             const std::function<bool(std::u16string_view)>& leaveOnDisk);
    // The bytes of a stream Load left in the file; nullptr for any other.
    std::unique_ptr<StreamOnDisk> TakeOnDisk(const Element& stream);

    // A version 3 image of the tree.
    std::vector<uint8_t> Serialize() const;
    // Writes the image, front to back, to a temporary file beside the target,
    // then renames it (a failure raises platform::FileError and leaves the
    // target as it was).
    void Save(const std::filesystem::path& file) const;

private:
    friend struct TreeAccess;
    std::unique_ptr<Element> root;
    std::vector<std::pair<const Element*, std::unique_ptr<StreamOnDisk>>> onDisk;
};

} // namespace platform::cfb
