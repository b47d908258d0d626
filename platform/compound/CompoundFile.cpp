#include "platform/compound/CompoundFile.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdio>

namespace platform::cfb {

namespace {

// Simple upper-casing for the scripts element names use in practice: Latin,
// Latin-1, Greek and Cyrillic. Other characters compare as they are.
char16_t UpperChar(char16_t c) {
    if (c >= u'a' && c <= u'z') return c - 0x20;
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs: odd code points are the lower-case letters,
        // except in the 0x139-0x148 and 0x179-0x17E runs, where the even ones are.
        bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        bool lower = shifted ? (c % 2 == 0) : (c % 2 == 1);
        return lower && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c >= 0x460 && c <= 0x4FF && c % 2 == 1 && !(c >= 0x482 && c <= 0x489)) return c - 1;
    return c;
}

void CheckName(std::u16string_view name) {
    if (name.empty()) throw CompoundFileError("Compound file element name is empty");
    if (name.size() > MaxNameLength)
        throw CompoundFileError("Compound file element name is longer than 31 characters");
}

} // namespace

int CompareNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = UpperChar(a[i]), y = UpperChar(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return CompareNames(a, b) == 0;
}

Element::Element(ElementType type, std::u16string name) : type(type), name(std::move(name)) {}

Element* Element::Find(std::u16string_view childName) {
    for (auto& c : children)
        if (SameName(c->name, childName)) return c.get();
    return nullptr;
}

const Element* Element::Find(std::u16string_view childName) const {
    return const_cast<Element*>(this)->Find(childName);
}

Element* Element::FindStream(std::u16string_view childName) {
    Element* e = Find(childName);
    return e && e->IsStream() ? e : nullptr;
}

Element* Element::FindStorage(std::u16string_view childName) {
    Element* e = Find(childName);
    return e && e->IsStorage() ? e : nullptr;
}

Element& Element::Adopt(std::unique_ptr<Element> child) {
    if (!IsStorage()) throw CompoundFileError("Only storages hold elements");
    CheckName(child->name);
    for (auto& c : children)
        if (SameName(c->name, child->name)) {
            c = std::move(child);
            return *c;
        }
    children.push_back(std::move(child));
    return *children.back();
}

Element& Element::AddStream(std::u16string_view childName, std::vector<uint8_t> bytes) {
    auto e = std::make_unique<Element>(ElementType::Stream, std::u16string(childName));
    e->Data = std::move(bytes);
    return Adopt(std::move(e));
}

Element& Element::AddStorage(std::u16string_view childName) {
    return Adopt(std::make_unique<Element>(ElementType::Storage, std::u16string(childName)));
}

std::unique_ptr<Element> Element::Detach(std::u16string_view childName) {
    auto it = std::find_if(children.begin(), children.end(),
                           [&](const std::unique_ptr<Element>& c) { return SameName(c->name, childName); });
    if (it == children.end()) return nullptr;
    auto e = std::move(*it);
    children.erase(it);
    return e;
}

bool Element::Remove(std::u16string_view childName) {
    return Detach(childName) != nullptr;
}

std::unique_ptr<Element> Element::Clone() const {
    auto copy = std::make_unique<Element>(type, name);
    copy->ClassId = ClassId;
    copy->StateBits = StateBits;
    copy->CreationTime = CreationTime;
    copy->ModifiedTime = ModifiedTime;
    copy->Data = Data;
    copy->External = External;
    copy->children.reserve(children.size());
    for (auto& c : children) copy->children.push_back(c->Clone());
    return copy;
}

void Element::CopyTo(Element& target) const {
    target.ClassId = ClassId;
    target.StateBits = StateBits;
    for (auto& c : children) target.Adopt(c->Clone());
}

CompoundFile::CompoundFile() : root(std::make_unique<Element>(ElementType::Storage, u"Root Entry")) {}

bool CompoundFile::IsCompoundFile(std::span<const uint8_t> bytes) {
    return bytes.size() >= Signature.size() && std::equal(Signature.begin(), Signature.end(), bytes.begin());
}

bool CompoundFile::IsCompoundFile(const std::filesystem::path& file) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return false;
    uint8_t head[Signature.size()];
    size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return IsCompoundFile(std::span<const uint8_t>(head, got));
}

} // namespace platform::cfb
