// The electronic journal and the Z report from the register's recorded sales
// to their XML files through the whole program. An independent walk of the
// raw stream in Python counts documents and records by type; Python's minidom
// counts them in the saved document; both must agree. Both files pass
// xmllint.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include "exchange/TForm13.h"
#include "support_files.h"
#include "support_program.h"
#include "support_readers.h"

namespace {

using testing_console::ProgramHarness;

// Sales that make every document and record type of the journal.
const char* const kSales =
    R"(clear-sales
clock 2024-03-01T09:00
vat-type 1
tax-rates 5 0 0 0
tax-name 1 "Акциз"
fiscal-ids "3000123456" "123456789012"
cashier 2 "Олена"
cash-in 500.00
receipt sale comment "Акція тижня" attr 3,6:40:2:13 item 2 qty 2 discount percent 5 id 4821 )"
    R"(item 3 discount amount 0.50 total online pay card 0.01 pay credit 0.01 pay cash 1000.00
receipt sale at 2024-03-01T10:15 item 4 item 5 cancelled pay cash 1000.00
receipt refund item 2
receipt sale item 3 cancel
receipt refund item 4 cancel
cash-out 10.00
packages transmit 1-20@2024-03-01T10:00 21-25
packages delivery 1-25
service accept shipper 12345678901234567890 item 2 qty 3 price 1.50 item 3
service return item 4
new-journal
receipt sale item 7
z-report at 2024-03-01T21:00
receipt sale item 8
)";

// Counts by type in the stream and in the document, one "key=count" per line each.
const char* const kChecker = R"PY(
import struct, sys
from xml.dom import minidom
from collections import Counter

names = {0: "SaleReceipt", 1: "RefundReceipt", 2: "CancelSaleReceipt", 3: "CancelRefundReceipt",
         4: "CashIn", 5: "CashOut", 6: "TransmitReport", 7: "DeliveryReport",
         16: "ServiceInfoAcceptItem", 17: "ServiceInfoReturnItem"}
kinds = {1: "COMMENT", 2: "DISCOUNT", 3: "TOTAL", 4: "PAYMENT", 5: "CLOSE"}
stream = open(sys.argv[1], "rb").read()
counts = Counter()
p = 0
while p + 2 <= len(stream):
    length = struct.unpack_from("<H", stream, p)[0]
    if length == 0xFFFF or p + 9 > len(stream):
        break
    kind = stream[p + 2]
    body = stream[p + 9:p + 9 + length]
    counts["doc:" + names.get(kind, "other")] += 1
    if kind <= 3:
        r = 0
        while r + 2 <= len(body) and body[r] >= 2:
            t = body[r + 1]
            record = ("REFUND" if kind in (1, 3) else "SALE") if t == 0 else kinds.get(t, "?")
            counts["rec:" + record] += 1
            r += body[r]
    elif kind in (4, 5):
        counts["rec:CASH"] += 1
    elif kind in (6, 7):
        counts["rec:PACKAGE"] += len(body) // 12
    elif kind in (16, 17):
        counts["rec:SERVICEITEM"] += body[1]
    p += 9 + length
print("stream " + " ".join("%s=%d" % kv for kv in sorted(counts.items())))

doc = minidom.parse(sys.argv[2])
counts = Counter()
data = doc.getElementsByTagName("DATA")[0]
for node in data.childNodes:
    if node.nodeType != node.ELEMENT_NODE:
        continue
    if node.tagName == "DocumentHeader":
        types = node.getElementsByTagName("DocumentType")
        counts["doc:" + (types[0].firstChild.data if types else "other")] += 1
        continue
    for record in node.childNodes:
        if record.hasAttribute("RecordType"):
            counts["rec:" + record.getAttribute("RecordType")] += 1
        elif record.hasAttribute("CashSum"):
            counts["rec:CASH"] += 1
        elif record.hasAttribute("BLOCK"):
            counts["rec:PACKAGE"] += 1
        elif record.hasAttribute("ItemIndex"):
            counts["rec:SERVICEITEM"] += 1
print("xml " + " ".join("%s=%d" % kv for kv in sorted(counts.items())))
)PY";

TEST(JournalFiles, JournalAndZReportFromTheRegistersSales) {
    ProgramHarness h;
    h.WriteScenario(kSales);
    ASSERT_TRUE(h.Create());
    h.Form().Connect->trigger();
    const std::string journal = h.dir.File("journal.xml");
    const std::string zreport = h.dir.File("zreport.xml");
    h.ui.QueueFile(journal);
    h.ui.QueueFile(zreport);
    h.ui.QueueModal([](QDialog& d) {
        auto& f = dynamic_cast<exchange::TForm13&>(d);
        f.BitBtn2->click();
        f.BitBtn3->click();
        f.Edit2->setText("1");
        f.BitBtn4->click();
        return 0;
    });
    h.Form().BitBtn7->click();
    std::vector<std::string> boxes;
    for (const auto& box : h.ui.boxes) boxes.push_back(box.Utf8Text());
    ASSERT_EQ(boxes, (std::vector<std::string>{"Зчитування електронного журналу закінчено",
                                               "Зчитування денного Z-звіту закінчено"}));

    // The raw stream, read again straight from the register's library.
    std::string stream;
    const device::DeviceApi& api = h.State().Api();
    char block[128];
    const char* err = nullptr;
    uint8_t status = api.GetJournal(1, 3, 0, block, 127, &err);
    for (int guard = 0; guard < 100000 && (status == 0 || status == 0xA2); ++guard) {
        stream.append(block, sizeof block);
        if (status == 0xA2) break;
        status = api.NextCommand(block, 127, &err);
    }
    ASSERT_EQ(status, 0xA2);
    const std::string raw = h.dir.File("journal.bin");
    testfiles::Spit(raw, stream);
    for (const char* name : {"journal.xml", "journal.bin", "zreport.xml"})
        testfiles::KeepTestOutput(h.dir.File(name), name);

    EXPECT_TRUE(testfiles::XmllintAccepts(journal));
    EXPECT_TRUE(testfiles::XmllintAccepts(zreport));
    const std::string out = testfiles::RunPython(kChecker, {raw, journal});
    const std::size_t newline = out.find('\n');
    ASSERT_NE(newline, std::string::npos) << out;
    const std::string fromStream = out.substr(7, newline - 7);
    const std::string fromXml = out.substr(newline + 5, out.find('\n', newline + 1) - newline - 5);
    EXPECT_EQ(fromStream, fromXml);
    // Every document type and every record type is there.
    for (const char* key : {"doc:SaleReceipt",
                            "doc:RefundReceipt",
                            "doc:CancelSaleReceipt",
                            "doc:CancelRefundReceipt",
                            "doc:CashIn",
                            "doc:CashOut",
                            "doc:TransmitReport",
                            "doc:DeliveryReport",
                            "doc:ServiceInfoAcceptItem",
                            "doc:ServiceInfoReturnItem",
                            "rec:SALE",
                            "rec:REFUND",
                            "rec:COMMENT",
                            "rec:DISCOUNT",
                            "rec:TOTAL",
                            "rec:PAYMENT",
                            "rec:CLOSE",
                            "rec:CASH",
                            "rec:PACKAGE=3",
                            "rec:SERVICEITEM=3"})
        EXPECT_NE(fromStream.find(key), std::string::npos) << key << "\n" << fromStream;

    const std::string z = testfiles::Slurp(zreport);
    for (const char* part :
         {"<REPORT_ID>Z_REPORT</REPORT_ID>", "<SMENA_ID>1</SMENA_ID>", "FN=\"3000123456\"",
          "PN=\"123456789012\"", "VatType=\"2\"", "SaleReceipts=\"3\"", "RefundReceipts=\"1\""})
        EXPECT_NE(z.find(part), std::string::npos) << part;
}

} // namespace
