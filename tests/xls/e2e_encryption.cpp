// Encrypted workbooks against an independent implementation of the RC4
// scheme: files we write are decrypted by msoffcrypto-tool and read by
// xlrd; the real-world encrypted files read as their decrypted copies do.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/BIFFEncryption.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_messages.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace xls;
namespace fs = std::filesystem;

namespace {

void ExpectSameBook(const oracle::XlrdBook& a, const oracle::XlrdBook& b) {
    ASSERT_TRUE(a.Ok) << a.Error;
    ASSERT_TRUE(b.Ok) << b.Error;
    EXPECT_EQ(a.Sheets, b.Sheets);
    ASSERT_EQ(a.Cells.size(), b.Cells.size());
    for (size_t i = 0; i < a.Cells.size(); ++i) {
        const auto &x = a.Cells[i], &y = b.Cells[i];
        EXPECT_EQ(std::tie(x.Sheet, x.Row, x.Col, x.Kind, x.Value),
                  std::tie(y.Sheet, y.Row, y.Col, y.Kind, y.Value));
    }
}

// Sheets with names and contents of varied length.
void Fill(TTabrix4& book) {
    book.Sheets().Clear();
    for (int s = 0; s < 40; ++s) {
        TSheet& sheet = book.Sheets().Add(0);
        sheet.SetName(u"Відділ " + Utf8ToWide(std::to_string(s)) + std::u16string(size_t(s % 23), u'ж'));
        for (int r = 0; r <= s % 9; ++r) {
            sheet.SetAsFloat(0, r, s * 100 + r + 0.25);
            sheet.SetAsString(1, r, u"Товар " + Utf8ToWide(std::to_string(r * s)));
        }
    }
}

std::string Write(const testfiles::ScratchDir& dir, const std::string& name, const std::u16string& password) {
    TTabrix4 book;
    Fill(book);
    book.Password = password;
    const std::string file = dir.File(name);
    book.SetFilename(Utf8ToWide(file));
    book.Write();
    return file;
}

std::string ReadMessage(const fs::path& file, const std::u16string& password) {
    TTabrix4 book;
    book.Password = password;
    book.SetFilename(file.u16string());
    std::string m = MessageOf([&] { book.Read(); });
    return m == "(no exception)" ? "" : m;
}

} // namespace

TEST(EncryptionFiles, WrittenWithAPasswordTheyDecryptElsewhereToTheSameWorkbook) {
    testfiles::ScratchDir dir;
    const std::u16string password = u"Каса-2024 ключ";
    const std::string plain = Write(dir, "plain.xls", u"");
    const std::string crypted = Write(dir, "crypted.xls", password);
    const std::string decrypted = dir.File("decrypted.xls");
    oracle::TRun r = oracle::Decrypt(crypted, WideToUtf8(password), decrypted);
    ASSERT_EQ(r.Status, 0) << r.Output;
    ExpectSameBook(oracle::ReadWithXlrd(decrypted), oracle::ReadWithXlrd(plain));

    // The interface block follows FILEPASS (which the tool blanks to id 0).
    auto ids = biffbuild::IdsOf(biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(decrypted))));
    ASSERT_GE(ids.size(), 5u);
    EXPECT_EQ(std::vector<uint16_t>(ids.begin(), ids.begin() + 5),
              (std::vector<uint16_t>{0x0809, 0x0000, 0x00E1, 0x00C1, 0x00E2}));

    // Read back here with the password, and refused without it.
    TTabrix4 book;
    book.Password = password;
    book.SetFilename(Utf8ToWide(crypted));
    book.Read();
    book.Password.clear();
    book.SetFilename(Utf8ToWide(dir.File("again.xls")));
    book.Write();
    ExpectSameBook(oracle::ReadWithXlrd(dir.File("again.xls")), oracle::ReadWithXlrd(plain));
    EXPECT_NE(ReadMessage(crypted, u"Каса-2024").find("Invalid password"), std::string::npos);
}

TEST(EncryptionFiles, PlainFieldsAcrossBlockBordersDecryptElsewhereAsHere) {
    using namespace biffbuild;
    TRC4Key key;
    const Bytes filePass = MakeFilePass(u"border", key);
    // A BOUNDSHEET whose sheet position and a BOF whose body cross the
    // borders at 1024 and 2048.
    Stream s;
    s.Bof8(0x0005).Rec(biff::FILEPASS, filePass);
    const size_t from = s.Data().size();
    s.Rec(0x0033, Bytes(1022 - 8 - from, 0x11)).BoundSheet8("Sheet1");
    const size_t boundSheet = 1022;
    s.Rec(0x0033, Bytes(2036 - s.Data().size() - 4, 0x22)).Bof8(0x0010).Number(3, 4, 5.5).Eof();
    const Bytes plain = s.Data();
    ASSERT_EQ(GetU16(plain.data() + boundSheet - 4), 0x0085);
    ASSERT_EQ(GetU16(plain.data() + 2036), 0x0809);
    Bytes crypted = plain;
    CryptRecords(crypted, from, key);

    testfiles::ScratchDir dir;
    const Bytes image = CompoundImage(crypted);
    testfiles::Spit(dir.File("c.xls"), std::string(image.begin(), image.end()));
    ASSERT_EQ(oracle::Decrypt(dir.File("c.xls"), "border", dir.File("p.xls")).Status, 0);
    Bytes expected = plain;
    // The tool blanks the FILEPASS record, its length aside.
    std::fill(expected.begin() + long(from - filePass.size() - 4),
              expected.begin() + long(from - filePass.size() - 2), 0);
    std::fill(expected.begin() + long(from - filePass.size()), expected.begin() + long(from), 0);
    EXPECT_EQ(WorkbookStream(testfiles::Slurp(dir.File("p.xls"))), expected);
}

TEST(EncryptionFiles, Excel5WorkbooksAreNotWrittenWithAPassword) {
    testfiles::ScratchDir dir;
    TTabrix4 book;
    book.SetVersion(TExcelVersion::xvExcel50);
    book.Password = u"secret";
    book.SetFilename(Utf8ToWide(dir.File("book.xls")));
    EXPECT_EQ(MessageOf([&] { book.Write(); }), "Only Excel 97 workbooks can be saved with a password");
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
}

TEST(EncryptionFiles, RealWorldEncryptedFiles) {
    const fs::path dir = oracle::RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "no real-world test files here";
    const std::string unknownType = "Can not read file, unknown type of encryption.";
    const std::string xorType = "File encrypted with non-standard key. French?";
    struct Case {
        const char* file;
        std::u16string password; // given to the reader
        std::string message;     // empty: reads as its decrypted copy
        std::string realPassword = "";
    } cases[] = {
        {"apache-poi/password.xls", u"password", "", "password"},
        {"ExcelDataReader/TestExcel_2040.xls", u"", "", "VelvetSweatshop"},
        {"ExcelDataReader/protectedsheet-xxx.xls", u"", "", "VelvetSweatshop"},
        {"apache-poi/50833.xls", u"", "", "VelvetSweatshop"},
        {"apache-poi/password.xls", u"", "File is encrypted. Password required."},
        {"apache-poi/51832.xls", u"password", "Invalid password"},
        {"sheetjs-test_files/password_2002_40_972000.xls", u"972000", "Invalid password"},
        {"msoffcrypto-tool/rc4cryptoapi_password.xls", u"Password1234_", unknownType},
        {"ExcelDataReader/Test_git_issue_242_std_rc4_pwd_password.xls", u"password", unknownType},
        {"ExcelDataReader/Test_git_issue_477_crypto_keylength40.xls", u"password", unknownType},
        {"apache-poi/35897-type4.xls", u"freedom", unknownType},
        {"sheetjs-test_files/password_2002_128_enhanced.xls", u"password", unknownType},
        {"ExcelDataReader/Test_git_issue_242_xor_pwd_password.xls", u"password", unknownType},
        {"apache-poi/60284.xls", u"", unknownType},
        {"sheetjs-test_files/biff5/password_2002_40_xor.xls", u"password", unknownType},
        {"msoffcrypto-tool/xor_password_123456789012345.xls", u"123456789012345", xorType},
        {"apache-poi/xor-encryption-abc.xls", u"abc", xorType},
        {"sheetjs-test_files/password_2002_40_xor.xls", u"password", xorType},
    };
    testfiles::ScratchDir scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = dir / c.file;
        ASSERT_TRUE(fs::exists(file));
        const std::string message = ReadMessage(file, c.password);
        if (!c.message.empty()) {
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
            continue;
        }
        ASSERT_EQ(message, "");
        // What we read and write again is what xlrd reads of the copy the
        // independent tool decrypted.
        TTabrix4 book;
        book.Password = c.password;
        book.SetFilename(file.u16string());
        book.Read();
        book.Password.clear();
        book.SetFilename(Utf8ToWide(scratch.File("ours.xls")));
        book.Write();
        ASSERT_EQ(oracle::Decrypt(file.string(), c.realPassword, scratch.File("theirs.xls")).Status, 0);
        ExpectSameBook(oracle::ReadWithXlrd(scratch.File("ours.xls")),
                       oracle::ReadWithXlrd(scratch.File("theirs.xls")));
    }
    // The tool stops at the two bytes after the last record of this one.
    TTabrix4 book;
    book.Password = u"password";
    book.SetFilename((dir / "sheetjs-test_files/password_2002_40_972000.xls").u16string());
    book.Read();
    TSheet& sheet = book.GetSheet(0);
    EXPECT_EQ(sheet.Cells().Count(), 5);
    for (int row = 0; row < 4; ++row) EXPECT_EQ(sheet.GetAsFloat(0, row), row + 1);
    EXPECT_EQ(sheet.GetAsFloat(1, 1), 10);
}

TEST(EncryptionFiles, XlsbenchWritesAndReadsWithAPassword) {
    const char* bin = std::getenv("Q710_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    const std::string xlsbench = std::string(bin) + "/xlsbench";
    testfiles::ScratchDir dir;
    const std::string file = dir.File("goods.xls");
    ASSERT_EQ(oracle::RunOurs(xlsbench + " write goods " + file + " --password 'ціна 1'").Status, 0);
    oracle::TRun read = oracle::RunOurs(xlsbench + " read --password 'ціна 1' " + file);
    EXPECT_EQ(read.Status, 0) << read.Output;
    EXPECT_TRUE(oracle::Has(read.Output, "cells  240012")) << read.Output;
    oracle::TRun wrong = oracle::RunOurs(xlsbench + " dump " + file + " --password ціна");
    EXPECT_EQ(wrong.Status, 1);
    EXPECT_TRUE(oracle::Has(wrong.Output, "Invalid password")) << wrong.Output;
    oracle::TRun none = oracle::RunOurs(xlsbench + " read " + file);
    EXPECT_EQ(none.Status, 1);
    EXPECT_TRUE(oracle::Has(none.Output, "File is encrypted. Password required.")) << none.Output;
    // A copy is encrypted with the same password; with a wrong one, refused.
    EXPECT_EQ(
        oracle::RunOurs(xlsbench + " copy " + file + " " + dir.File("copy.xls") + " --password 'ціна 1'")
            .Status,
        0);
    ASSERT_EQ(oracle::Decrypt(dir.File("copy.xls"), "ціна 1", dir.File("copyplain.xls")).Status, 0);
    oracle::TRun badCopy =
        oracle::RunOurs(xlsbench + " copy --password x " + file + " " + dir.File("bad.xls"));
    EXPECT_EQ(badCopy.Status, 1);
    EXPECT_TRUE(oracle::Has(badCopy.Output, "Invalid password")) << badCopy.Output;
    EXPECT_FALSE(testfiles::Exists(dir.File("bad.xls")));
    // The dump of the encrypted file is the dump of the copy decrypted elsewhere.
    ASSERT_EQ(oracle::Decrypt(file, "ціна 1", dir.File("plain.xls")).Status, 0);
    const std::string dump = oracle::RunOurs(xlsbench + " dump " + file + " --password 'ціна 1'").Output;
    EXPECT_EQ(dump, oracle::RunOurs(xlsbench + " dump " + dir.File("plain.xls")).Output);
    EXPECT_EQ(dump, oracle::RunOurs(xlsbench + " dump " + dir.File("copyplain.xls")).Output);
}
