#include "SrcXLS/model/PrintSettings.h"

#include <cstring>

namespace xls {

namespace {

// SETUP flag of each option that lives there; the other four are records.
constexpr struct {
    TPrintSetupOption Option;
    uint16_t Flag;
} SetupFlags[] = {
    {TPrintSetupOption::psoLeftToRight, 0x01}, {TPrintSetupOption::psoPortrait, 0x02},
    {TPrintSetupOption::psoNoColor, 0x08},     {TPrintSetupOption::psoDraftQuality, 0x10},
    {TPrintSetupOption::psoNotes, 0x20},
};

} // namespace

void THorizPagebreak::Assign(const THorizPagebreak& source) {
    Row = source.Row;
    Col1 = source.Col1;
    Col2 = source.Col2;
}

void TVertPagebreak::Assign(const TVertPagebreak& source) {
    Col = source.Col;
    Row1 = source.Row1;
    Row2 = source.Row2;
}

TPrintSettings::TPrintSettings(TRecordStorageSheet& records, const TLibraryState& limits)
    : records(records), horizPagebreaks(limits), vertPagebreaks(limits) {
    SetDefaults();
}

// A cleared sheet has no header or footer either: they would otherwise be
// printed with whatever the sheet is given next.
void TPrintSettings::SetDefaults() {
    SetStartingPage(1);
    SetOptions({TPrintSetupOption::psoPortrait});
    header.clear();
    footer.clear();
    marginLeft = DefaultMargins[0];
    marginRight = DefaultMargins[1];
    marginTop = DefaultMargins[2];
    marginBottom = DefaultMargins[3];
    horizPagebreaks.Clear();
    vertPagebreaks.Clear();
}

void TPrintSettings::Assign(const TPrintSettings& source) {
    if (&source == this) return;
    header = source.header;
    footer = source.footer;
    marginLeft = source.marginLeft;
    marginRight = source.marginRight;
    marginTop = source.marginTop;
    marginBottom = source.marginBottom;
    horizPagebreaks.Assign(source.horizPagebreaks);
    vertPagebreaks.Assign(source.vertPagebreaks);
}

uint16_t TPrintSettings::Word(int offset) const {
    return GetU16(records.SetupData().data() + offset);
}

void TPrintSettings::SetWord(int offset, uint16_t v) {
    PutU16(records.SetupData().data() + offset, v);
}

double TPrintSettings::Double(int offset) const {
    double v;
    std::memcpy(&v, records.SetupData().data() + offset, 8);
    return v;
}

void TPrintSettings::SetDouble(int offset, double v) {
    std::memcpy(records.SetupData().data() + offset, &v, 8);
}

TPaperSize TPrintSettings::GetPaperSize() const {
    return TPaperSize(records.SetupData()[PaperAt]);
}

void TPrintSettings::SetPaperSize(TPaperSize v) {
    records.SetupData()[PaperAt] = uint8_t(v);
}

void TPrintSettings::SetStartingPage(uint16_t v) {
    SetWord(StartPageAt, v);
    uint16_t flags = Word(OptionsAt);
    SetWord(OptionsAt, v == 1 ? uint16_t(flags & ~UseStartPage) : uint16_t(flags | UseStartPage));
}

TPrintSetupOptions TPrintSettings::GetOptions() const {
    TPrintSetupOptions o;
    uint16_t flags = Word(OptionsAt);
    for (const auto& f : SetupFlags)
        if (flags & f.Flag) o.Include(f.Option);
    if (records.GetPrintHeaders()) o.Include(TPrintSetupOption::psoRowColHeading);
    if (records.GetPrintGridLines()) o.Include(TPrintSetupOption::psoGridlines);
    if (records.GetHCenter()) o.Include(TPrintSetupOption::psoHorizCenter);
    if (records.GetVCenter()) o.Include(TPrintSetupOption::psoVertCenter);
    return o;
}

void TPrintSettings::SetOptions(TPrintSetupOptions v) {
    records.SetPrintHeaders(v.Contains(TPrintSetupOption::psoRowColHeading));
    records.SetPrintGridLines(v.Contains(TPrintSetupOption::psoGridlines));
    records.SetHCenter(v.Contains(TPrintSetupOption::psoHorizCenter));
    records.SetVCenter(v.Contains(TPrintSetupOption::psoVertCenter));
    uint16_t flags = 0;
    for (const auto& f : SetupFlags)
        if (v.Contains(f.Option)) flags = uint16_t(flags | f.Flag);
    SetWord(OptionsAt, flags);
}

} // namespace xls
