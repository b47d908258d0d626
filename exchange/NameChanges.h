// What an export changes in the names it writes, as the import of its own
// format reads them back: letters its code page lacks (CSV in code page 866)
// and blanks, line breaks and control characters the format does not keep
// (a line break in a CSV field becomes a blank; XML keeps no control
// characters and the goods XML import, like every dBase read, cuts the
// blanks at the ends of a name). The main window tells the user after the
// export's success.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console/ConsoleState.h"
#include "exchange/ReportColumns.h"

namespace exchange {

class ExportNameChanges {
public:
    static constexpr std::size_t Named = 5;
    // How the import of a format reads back a name its export wrote.
    enum class Reading : uint8_t { Csv, Xml, XmlTrimmed, Dbf };

    explicit ExportNameChanges(Reading reading, const console::CsvOptionsRecord& options = {});

    // Notes the name of a row of the layout (a layout without one has nothing to note).
    void Note(const ReportLayout& layout, const ReportRow& row);
    template <class Record> void NoteAll(const ReportLayout& layout, const std::vector<Record>& report) {
        for (std::size_t i = 0; i < report.size(); ++i) Note(layout, RowAt(report, i));
    }
    // What the user is told (ANSI): per kind of change, the count and the
    // first names, each with its number ("№12 Хліб"); empty when nothing changed.
    std::string Text() const;

    // The name (ANSI) as the import reads it back, its code page aside.
    std::string ReadBack(std::string_view name) const;

private:
    struct Changed {
        std::size_t count = 0;
        std::vector<std::string> first;
        void Add(int64_t number, std::string_view name);
        std::string Text(const char* head) const;
    };
    Reading reading;
    bool oem;
    Changed letters;
    Changed blanks;
};

} // namespace exchange
