#include "support_compound.h"

#include <gtest/gtest.h>

#include "platform/AtomicFile.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace compound_test;
using platform::cfb::CompareNames;
using platform::cfb::CompoundFile;
using platform::cfb::CompoundFileError;
using platform::cfb::Element;

namespace {

std::string ScratchFile(const char* name) {
    return (std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()))).string();
}

// Expects a CompoundFileError whose message contains the given text, from the
// image in memory and from the same image read from a file.
void ExpectBad(const std::vector<uint8_t>& image, const std::string& text) {
    const std::string file = ScratchFile("compound-bad.");
    platform::WriteFileAtomic(file,
                              std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    // Streams left in the file have their chains checked all the same.
    for (int from : {0, 1, 2}) {
        try {
            if (from == 0) CompoundFile::Parse(image);
            if (from == 1) CompoundFile::Load(file);
            if (from == 2) CompoundFile::Load(file, [](std::u16string_view) { return true; });
            ADD_FAILURE() << "parsed a malformed image, expected: " << text << " (" << from << ")";
        } catch (const CompoundFileError& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    }
    std::filesystem::remove(file);
}

size_t FatOffset(const std::vector<uint8_t>& image) {
    return 512 + size_t(Get32(image, 76)) * 512;
}

std::u16string EntryName(const std::vector<uint8_t>& image, size_t off) {
    std::u16string s;
    size_t len = image[off + 64] | image[off + 65] << 8;
    for (size_t i = 0; i + 2 < len; i += 2) s += char16_t(image[off + i] | image[off + i + 1] << 8);
    return s;
}

// Checks one storage's sibling tree: names in order, root black, no red node
// with a red child, the same number of black nodes on every path.
void CheckRedBlack(const std::vector<uint8_t>& image, uint32_t node, size_t& visited) {
    std::vector<std::u16string> inOrder;
    std::function<int(uint32_t, bool)> walk = [&](uint32_t n, bool parentRed) -> int {
        if (n == 0xFFFFFFFF) return 1;
        size_t off = DirEntryOffset(image, n);
        bool red = image[off + 67] == 0;
        EXPECT_FALSE(red && parentRed) << "red node with a red parent";
        int left = walk(Get32(image, off + 68), red);
        inOrder.push_back(EntryName(image, off));
        ++visited;
        if (image[off + 66] == 1) CheckRedBlack(image, Get32(image, off + 76), visited);
        int right = walk(Get32(image, off + 72), red);
        EXPECT_EQ(left, right) << "black heights differ";
        return left + (red ? 0 : 1);
    };
    if (node != 0xFFFFFFFF) {
        EXPECT_NE(image[DirEntryOffset(image, node) + 67], 0) << "tree root is red";
    }
    walk(node, false);
    for (size_t i = 1; i < inOrder.size(); ++i) EXPECT_LT(CompareNames(inOrder[i - 1], inOrder[i]), 0);
}

// A version 4 image (4096-byte sectors) with one mini stream and one normal
// stream, laid out by hand.
std::vector<uint8_t> Version4Image(const std::vector<uint8_t>& small, const std::vector<uint8_t>& big) {
    std::vector<uint8_t> img(4096 * 7, 0);
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(img.data(), sig, 8);
    auto put16 = [&](size_t off, uint16_t v) {
        img[off] = uint8_t(v);
        img[off + 1] = uint8_t(v >> 8);
    };
    put16(24, 0x3E);
    put16(26, 4);
    put16(28, 0xFFFE);
    put16(30, 12);
    put16(32, 6);
    Put32(img, 40, 1);
    Put32(img, 44, 1);
    Put32(img, 48, 1);
    Put32(img, 56, 4096);
    Put32(img, 60, 2);
    Put32(img, 64, 1);
    Put32(img, 68, 0xFFFFFFFE);
    for (int k = 0; k < 109; ++k) Put32(img, 76 + 4 * k, k == 0 ? 0 : 0xFFFFFFFF);
    auto sector = [](uint32_t s) { return 4096 + size_t(s) * 4096; };
    uint32_t fat[] = {0xFFFFFFFD, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 5, 0xFFFFFFFE};
    for (uint32_t k = 0; k < 1024; ++k) Put32(img, sector(0) + 4 * k, k < 6 ? fat[k] : 0xFFFFFFFF);
    auto entry = [&](uint32_t i, const std::u16string& name, uint8_t type, uint32_t left, uint32_t right,
                     uint32_t child, uint32_t start, uint64_t size) {
        size_t off = sector(1) + i * 128;
        for (size_t c = 0; c < name.size(); ++c) put16(off + 2 * c, name[c]);
        put16(off + 64, uint16_t((name.size() + 1) * 2));
        img[off + 66] = type;
        img[off + 67] = 1;
        Put32(img, off + 68, left);
        Put32(img, off + 72, right);
        Put32(img, off + 76, child);
        Put32(img, off + 116, start);
        Put32(img, off + 120, uint32_t(size));
        Put32(img, off + 124, uint32_t(size >> 32));
    };
    const uint32_t none = 0xFFFFFFFF;
    entry(0, u"Root Entry", 5, none, none, 1, 3, 128);
    entry(1, u"Small", 2, 2, none, none, 0, small.size());
    entry(2, u"Big", 2, none, none, none, 4, big.size());
    for (uint32_t i = 3; i < 32; ++i) entry(i, u"", 0, none, none, none, 0, 0);
    Put32(img, sector(2), 1);
    Put32(img, sector(2) + 4, 0xFFFFFFFE);
    for (uint32_t k = 2; k < 1024; ++k) Put32(img, sector(2) + 4 * k, 0xFFFFFFFF);
    std::memcpy(&img[sector(3)], small.data(), small.size());
    std::memcpy(&img[sector(4)], big.data(), big.size());
    return img;
}

} // namespace

TEST(CompoundNames, OrderAndCaseFollowTheDirectoryRules) {
    // Shorter names sort first whatever their letters.
    EXPECT_LT(CompareNames(u"Zz", u"Aaa"), 0);
    EXPECT_EQ(CompareNames(u"workbook", u"WORKBOOK"), 0);
    EXPECT_EQ(CompareNames(u"книга", u"КНИГА"), 0);
    EXPECT_EQ(CompareNames(u"ÄÖü", u"äöÜ"), 0);
    EXPECT_LT(CompareNames(u"Book", u"boOL"), 0);
    EXPECT_NE(CompareNames(u"Book", u"Boot"), 0);
}

TEST(CompoundTree, LookupReplaceRemoveAndNameLimits) {
    CompoundFile f;
    Element& root = f.Root();
    root.AddStream(u"Workbook", {1, 2, 3});
    ASSERT_NE(root.Find(u"WORKBOOK"), nullptr);
    EXPECT_EQ(root.FindStorage(u"workbook"), nullptr);
    // A second element of the same name in another case replaces the first.
    root.AddStream(u"workBOOK", {9});
    ASSERT_EQ(root.Children().size(), 1u);
    EXPECT_EQ(root.Children()[0]->Data, std::vector<uint8_t>{9});

    root.AddStream(std::u16string(31, u'x'));
    EXPECT_THROW(root.AddStream(std::u16string(32, u'x')), CompoundFileError);
    EXPECT_THROW(root.AddStorage(u""), CompoundFileError);
    EXPECT_THROW(root.Find(u"Workbook")->AddStream(u"child"), CompoundFileError);

    EXPECT_TRUE(root.Remove(u"WorkBook"));
    EXPECT_FALSE(root.Remove(u"Workbook"));
    EXPECT_EQ(root.Children().size(), 1u);

    // A name that got into the tree by another way is refused when building the image.
    Element& s = root.AddStorage(u"S");
    s.AddStream(u"ok");
    const_cast<std::u16string&>(s.Children()[0]->Name()).append(40, u'y');
    EXPECT_THROW(f.Serialize(), CompoundFileError);
}

TEST(CompoundTree, CopyToKeepsClassIdsStateBitsAndReplacesSameNames) {
    CompoundFile src = SampleTree();
    CompoundFile dst;
    dst.Root().AddStream(u"WORKBOOK", {1});
    dst.Root().AddStream(u"Other", {2});
    src.Root().CopyTo(dst.Root());
    EXPECT_EQ(dst.Root().ClassId, src.Root().ClassId);
    EXPECT_EQ(dst.Root().Find(u"Workbook")->Data, src.Root().Find(u"Workbook")->Data);
    EXPECT_NE(dst.Root().Find(u"Other"), nullptr);
    const Element* vba = dst.Root().Find(u"_vba_project_cur");
    ASSERT_NE(vba, nullptr);
    EXPECT_EQ(vba->StateBits, 0x11223344u);
    EXPECT_EQ(vba->ClassId[0], 0x77);
    // The copy is deep: changing the source leaves it as it was.
    src.Root().FindStorage(u"_VBA_PROJECT_CUR")->FindStorage(u"VBA")->FindStream(u"dir")->Data.clear();
    EXPECT_EQ(vba->Find(u"VBA")->Find(u"dir")->Data.size(), 700u);
}

TEST(CompoundImage, RoundTripKeepsEverything) {
    CompoundFile f = SampleTree();
    std::vector<uint8_t> image = f.Serialize();
    EXPECT_EQ(image.size() % 512, 0u);
    CompoundFile back = CompoundFile::Parse(image);
    EXPECT_EQ(Listing(back.Root()), Listing(f.Root()));
    EXPECT_EQ(back.Root().ClassId, f.Root().ClassId);
    const Element* vba = back.Root().Find(u"_VBA_PROJECT_CUR");
    EXPECT_EQ(vba->CreationTime, 0x01D0000012345678ull);
    EXPECT_EQ(vba->ModifiedTime, 0x01D0000087654321ull);
    // Serialising the parsed tree gives the same image again.
    EXPECT_EQ(back.Serialize(), image);
}

TEST(CompoundImage, EmptyFileAndSmallStreamsUseTheMiniStream) {
    CompoundFile empty;
    CompoundFile back = CompoundFile::Parse(empty.Serialize());
    EXPECT_TRUE(back.Root().Children().empty());

    CompoundFile f;
    f.Root().AddStream(u"a", Pattern(4095, 1));
    f.Root().AddStream(u"b", Pattern(4096, 2));
    std::vector<uint8_t> image = f.Serialize();
    EXPECT_NE(Get32(image, 60), 0xFFFFFFFEu) << "no mini FAT";
    // Only the 4095-byte stream is in the mini stream: 64 sectors of 64 bytes.
    EXPECT_EQ(Get32(image, DirEntryOffset(image, 0) + 120), 4096u);
    EXPECT_EQ(Listing(CompoundFile::Parse(image).Root()), Listing(f.Root()));
}

TEST(CompoundImage, DirectoryIsAValidRedBlackTreeForAnyChildCount) {
    for (int n : {1, 2, 3, 4, 7, 8, 9, 100, 257}) {
        CompoundFile f;
        for (int i = 0; i < n; ++i)
            f.Root().AddStream(u"s" + std::u16string(1 + i % 5, char16_t(u'a' + i % 26)) +
                               std::u16string(1, char16_t(u'A' + i / 26)));
        Element& sub = f.Root().AddStorage(u"sub");
        for (int i = 0; i < n; ++i)
            sub.AddStorage(u"n" + std::u16string(1, char16_t(u'0' + i % 10)) +
                           std::u16string(1, char16_t(0x410 + i / 10)));
        std::vector<uint8_t> image = f.Serialize();
        size_t visited = 0;
        CheckRedBlack(image, Get32(image, DirEntryOffset(image, 0) + 76), visited);
        EXPECT_EQ(visited, f.Root().Children().size() + sub.Children().size()) << n;
    }
}

TEST(CompoundImage, LargeStreamNeedsDifatSectors) {
    CompoundFile f;
    f.Root().AddStream(u"Big", Pattern(8 * 1024 * 1024, 9));
    f.Root().AddStream(u"Small", Pattern(10, 10));
    std::vector<uint8_t> image = f.Serialize();
    EXPECT_GT(Get32(image, 44), 109u) << "FAT sectors";
    EXPECT_EQ(Get32(image, 72), 1u) << "DIFAT sectors";
    CompoundFile back = CompoundFile::Parse(image);
    EXPECT_EQ(Listing(back.Root()), Listing(f.Root()));

    // A FAT count beyond what the DIFAT chain lists (a lost tail): the FAT
    // sectors listed are read.
    std::vector<uint8_t> tail = image;
    Put32(tail, 44, Get32(tail, 44) + 50);
    EXPECT_EQ(Listing(CompoundFile::Parse(tail).Root()), Listing(f.Root()));

    // A DIFAT sector that names itself as the next one is refused.
    uint32_t difat = Get32(image, 68);
    std::vector<uint8_t> bad = image;
    Put32(bad, 512 + size_t(difat) * 512 + 508, difat);
    Put32(bad, 44, Get32(bad, 44) + 200);
    ExpectBad(bad, "DIFAT");
}

TEST(CompoundImage, ReadsVersion4Images) {
    std::vector<uint8_t> small = Pattern(100, 1), big = Pattern(5000, 2);
    std::vector<uint8_t> image = Version4Image(small, big);
    CompoundFile f = CompoundFile::Parse(image);
    ASSERT_NE(f.Root().FindStream(u"small"), nullptr);
    EXPECT_EQ(f.Root().FindStream(u"small")->Data, small);
    EXPECT_EQ(f.Root().FindStream(u"BIG")->Data, big);

    // Version 4 keeps the size's high half: a terabyte stream is refused
    // before anything is allocated.
    Put32(image, 4096 * 2 + 2 * 128 + 124, 0x100);
    ExpectBad(image, "longer than its chain");
    // A size at the top of the range must not wrap around in the arithmetic.
    Put32(image, 4096 * 2 + 2 * 128 + 120, 0xFFFFFFFF);
    Put32(image, 4096 * 2 + 2 * 128 + 124, 0xFFFFFFFF);
    ExpectBad(image, "longer than its chain");
}

TEST(CompoundImage, MalformedImagesRaiseClearErrors) {
    std::vector<uint8_t> good = SampleTree().Serialize();
    uint32_t wbEntry = 0;
    for (uint32_t i = 1; i < 16; ++i)
        if (EntryName(good, DirEntryOffset(good, i)) == u"Workbook") wbEntry = i;
    ASSERT_NE(wbEntry, 0u);
    size_t wb = DirEntryOffset(good, wbEntry);
    uint32_t wbStart = Get32(good, wb + 116);
    size_t fatOff = FatOffset(good);

    ExpectBad(std::vector<uint8_t>(good.begin(), good.begin() + 300), "header");
    std::vector<uint8_t> b = good;
    b[0] = 0;
    EXPECT_THROW(CompoundFile::Parse(b), CompoundFileError);
    b = good;
    b[26] = 7;
    ExpectBad(b, "version");
    b = good; // a FAT count far beyond the file: the sectors listed are the FAT
    Put32(b, 44, 0x7FFFFFFF);
    EXPECT_EQ(CompoundFile::Parse(b).Root().FindStream(u"Workbook")->Data,
              CompoundFile::Parse(good).Root().FindStream(u"Workbook")->Data);
    b = good; // as before, with no DIFAT sector and its start left at 0
    Put32(b, 44, 0x7FFFFFFF);
    Put32(b, 68, 0);
    EXPECT_EQ(CompoundFile::Parse(b).Root().FindStream(u"Workbook")->Data,
              CompoundFile::Parse(good).Root().FindStream(u"Workbook")->Data);
    b = good; // the only FAT sector listed lies past the end of the file
    Put32(b, 76, 0x00FFFFFF);
    ExpectBad(b, "no FAT sector");

    b = good; // a stream whose chain comes back to its first sector
    Put32(b, fatOff + 4 * (wbStart + 1), wbStart);
    ExpectBad(b, "reuses");
    b = good; // a chain into nowhere
    Put32(b, wb + 116, 0x00FFFFFF);
    ExpectBad(b, "past the end");
    b = good; // a size far beyond the chain
    Put32(b, wb + 120, 0xFFFFFF00);
    ExpectBad(b, "longer than its chain");
    b = good; // two entries sharing one chain
    for (uint32_t i = 1; i < 16; ++i) {
        size_t off = DirEntryOffset(good, i);
        if (i != wbEntry && b[off + 66] == 2 && Get32(b, off + 120) >= 4096) {
            Put32(b, off + 116, wbStart);
            break;
        }
    }
    ExpectBad(b, "reuses");
    b = good; // a sibling link back to the root
    Put32(b, wb + 68, 0);
    ExpectBad(b, "cycle");
    b = good;
    Put32(b, wb + 72, 5000);
    ExpectBad(b, "past the directory");
    b = good;
    b[wb + 66] = 0;
    ExpectBad(b, "not a storage or stream");
    b = good;
    b[DirEntryOffset(good, 0) + 66] = 1;
    ExpectBad(b, "root");
}

// Damaged images in bulk are the fuzz target's (cfb_parse); here a whole
// stream cut off must be noticed.
TEST(CompoundImage, ImageCutInTheMiddleIsRefused) {
    std::vector<uint8_t> good = SampleTree().Serialize();
    ExpectBad(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "past the end");
}

// A stream left in its file reads, in pieces of any size, as the bytes the
// whole image gives, with its chain out of order in the file.
TEST(CompoundImage, StreamsLeftOnDiskReadAsTheirBytes) {
    CompoundFile tree = SampleTree();
    tree.Root().AddStream(u"Workbook", Pattern(300000, 4));
    std::vector<uint8_t> image = tree.Serialize();
    size_t wb = 0;
    for (uint32_t i = 1; i < 16 && !wb; ++i)
        if (EntryName(image, DirEntryOffset(image, i)) == u"Workbook") wb = DirEntryOffset(image, i);
    ASSERT_NE(wb, 0u);
    // Its second and third sectors change places in the file and in the chain.
    const uint32_t s0 = Get32(image, wb + 116), s1 = s0 + 1, s2 = s0 + 2;
    const size_t fat = FatOffset(image);
    std::swap_ranges(image.begin() + long(512 + s1 * 512), image.begin() + long(512 + s2 * 512),
                     image.begin() + long(512 + s2 * 512));
    Put32(image, fat + 4 * s0, s2);
    Put32(image, fat + 4 * s2, s1);
    Put32(image, fat + 4 * s1, s2 + 1);
    const CompoundFile whole = CompoundFile::Parse(image);
    const std::vector<uint8_t>& expected = whole.Root().Find(u"Workbook")->Data;
    ASSERT_EQ(expected, Pattern(300000, 4));

    const std::string file = ScratchFile("compound-ondisk.");
    platform::WriteFileAtomic(file,
                              std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    CompoundFile loaded = CompoundFile::Load(file, [](std::u16string_view) { return true; });
    Element& stream = *loaded.Root().FindStream(u"Workbook");
    EXPECT_TRUE(stream.Data.empty());
    auto onDisk = loaded.TakeOnDisk(stream);
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(loaded.TakeOnDisk(stream), nullptr) << "handed out once";
    ASSERT_EQ(onDisk->Size(), expected.size());
    std::vector<uint8_t> got(expected.size());
    uint64_t at = 0;
    for (size_t i = 0; at < got.size(); ++i) {
        const size_t sizes[] = {1, 511, 512, 513, 1000, 4096, 70000};
        const size_t n = std::min<size_t>(sizes[i % 7], got.size() - at);
        onDisk->Read(at, got.data() + at, n);
        at += n;
    }
    EXPECT_EQ(got, expected);
    std::filesystem::remove(file);
}

// A saved file holds the image Serialize makes, streams kept in an open file
// included, and loading it gives the tree back.
TEST(CompoundImage, FilesHoldTheImageOfTheTree) {
    const std::string file = ScratchFile("compound-save.");
    std::vector<CompoundFile> trees(3);
    trees[0].Root().AddStream(u"Big", Pattern(8 * 1024 * 1024 + 100, 9));
    trees[0].Root().AddStream(u"Small", Pattern(10, 10));
    trees[1] = SampleTree();
    for (const CompoundFile& f : trees) {
        f.Save(file);
        EXPECT_EQ(platform::ReadWholeFileBytes(file), f.Serialize());
        EXPECT_EQ(Listing(CompoundFile::Load(file).Root()), Listing(f.Root()));
    }
    // The same streams, one's bytes in an open file (a large and a small one).
    Element& root = trees[0].Root();
    for (const char16_t* name : {u"Big", u"Small"}) {
        const std::vector<uint8_t>& bytes = root.FindStream(name)->Data;
        platform::TempFile held = platform::TempFile::Create("compound", ".tmp");
        ASSERT_EQ(::pwrite(held.Descriptor(), bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
        CompoundFile external;
        for (const char16_t* other : {u"Big", u"Small"}) {
            Element& e = external.Root().AddStream(other);
            if (other == name)
                e.External = Element::ExternalBytes{held.Descriptor(), bytes.size()};
            else
                e.Data = root.FindStream(other)->Data;
        }
        EXPECT_EQ(external.Serialize(), trees[0].Serialize());
    }
    EXPECT_THROW(CompoundFile::Load(file + ".missing"), platform::FileError);
    std::filesystem::remove(file);
}
