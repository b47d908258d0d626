// The columns of the goods reports as every export names them, in the order
// of the text formats; the periodic report has the first 16 (15 captions).
#pragma once

namespace testfiles {

// Attribute names of an XML report item.
extern const char* const kReportAttributes[20];
// Captions of the columns after the number (the XML report's FIELD_1..19).
extern const char* const kReportCaptions[19];

struct ReportDbfField {
    const char* name;
    const char* type;
    int length;
    int decimals;
};
extern const ReportDbfField kReportDbfFields[20];

} // namespace testfiles
