// The writer's part of workbook encryption: the FILEPASS block after the
// globals BOF and the pass that encrypts the finished stream.
#include "SrcXLS/formats/TabrixWriter.h"

namespace xls {

void TTabrixWriter::WriteFilePass() {
    filePassEnd = -1;
    if (source.Password.empty()) return;
    const std::vector<uint8_t> body = MakeFilePass(source.Password, key);
    records.WriteRecord(biff::FILEPASS, body);
    filePassEnd = stream.Position();
    // The interface block stays plain; a read workbook brings its own.
    if (source.Globals->IndexOf(biff::INTERFACEHDR) >= 0) return;
    records.WriteWord(biff::INTERFACEHDR, 0x04B0);
    records.WriteWord(biff::MMS, 0);
    records.WriteEmpty(biff::INTERFACEEND);
}

void TTabrixWriter::EncryptWritten() {
    if (filePassEnd >= 0) stream.EncryptWritten(filePassEnd, key);
}

} // namespace xls
