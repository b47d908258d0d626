#include "exchange/GroupsXmlExport.h"

#include "exchange/NameChanges.h"
#include "exchange/ReportDocument.h"
#include "platform/CodePages.h"

namespace exchange {

void ExportGroupsXml(JobContext& job) {
    std::vector<GoodsGroupRecord>& table = job.arrays.GoodsGroupTable;
    job.progress.SetMaximum(GoodsGroupCount);
    platform::XmlDocument& document = job.side.NewXmlDocument();
    ReportDocumentWriter writer(document, GoodsGroupsReport, {GroupNumberCaption, GroupNameCaption});
    const std::size_t used = UsedGroupEntries(table);
    for (std::size_t i = 0; i < used; ++i) {
        try {
            platform::XmlNode item = writer.AddItem();
            item.SetAttributeInt("Id", table[i].Number);
            item.SetAttribute("Name", platform::AnsiToUtf8(table[i].Name));
        } catch (const std::exception&) {
            ShowJobError("Виникла помилка при експорті товарної групи (рядок №" + std::to_string(i + 2) +
                         ")!");
            break;
        }
        if (job.progress.Step()) break;
    }
    ExportNameChanges changes(ExportNameChanges::Reading::Xml);
    table.resize(used);
    changes.NoteAll(GoodsGroupsLayout(), table);
    table.clear();
    SaveBuiltExport(job, FormatXml, [&document](const std::string& path) { document.Save(path); });
    if (job.side.FileWritten) job.state.ExportChanges = changes.Text();
    TellSavedFile(job);
}

} // namespace exchange
