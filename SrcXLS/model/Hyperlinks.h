// A sheet's hyperlinks: a cell area linked to a web or mail address, a
// file, a network path or a place in the workbook, with a display text and
// a tool tip; read from and written to HLINK (and HLINKTOOLTIP) records. A
// link of a kind not modelled here keeps its record body as read.
#pragma once

#include "SrcXLS/model/Collection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXLSStream;

enum class THyperlinkType : uint8_t { hltUnknown, hltURL, hltFile, hltUNC, hltWorkbook };
// Which moniker the record uses.
enum class THyperlinkEncoding : uint8_t { hleUnknown, hleURL, hleFile, hleUNC, hleWorkbook };

namespace hlink {
constexpr uint16_t HLINK = 0x01B8;
constexpr uint16_t HLINKTOOLTIP = 0x0800;
// Option flags of the record.
constexpr uint32_t HasMoniker = 0x01;
constexpr uint32_t Absolute = 0x02;
constexpr uint32_t SiteGaveDisplayName = 0x04;
constexpr uint32_t HasLocation = 0x08;
constexpr uint32_t HasDisplayName = 0x10;
constexpr uint32_t HasGUID = 0x20;
constexpr uint32_t HasCreationTime = 0x40;
constexpr uint32_t HasFrameName = 0x80;
constexpr uint32_t MonikerSavedAsString = 0x100;
} // namespace hlink

class THyperlinks;

class THyperlink : public TCollectionItem {
public:
    int Col1 = 0, Col2 = 0, Row1 = 0, Row2 = 0;

    const std::u16string& GetAddress() const { return address; }
    // Classifies the address: web and mail addresses, network paths,
    // references into the workbook (their text mark "#" and the address),
    // and any other text as a file written as a URL.
    void SetAddress(std::u16string_view value);
    const std::u16string& GetDescription() const { return description; }
    void SetDescription(std::u16string_view value);
    const std::u16string& GetToolTip() const { return toolTip; }
    void SetToolTip(std::u16string_view value);
    THyperlinkType HyperlinkType() const { return type; }
    THyperlinkEncoding HyperlinkEncoding() const { return encoding; }
    int SheetIndex() const;
    uint32_t Flags() const { return flags; }
    const std::u16string& TargetFrame() const { return targetFrame; }
    const std::u16string& TextMark() const { return textMark; }
    bool Changed() const { return changed; }

    void Assign(const THyperlink& source);
    // A new place of a link into the workbook (its sheets renamed or
    // deleted): its text mark, and its address, which is the same.
    void SetLocation(std::u16string_view location);
    // An address, a place or a body kept as read: a link made and given
    // neither has nowhere to go.
    bool HasTarget() const;

private:
    friend class THyperlinks;
    THyperlinks* owner = nullptr;
    std::u16string address, description, toolTip, targetFrame, textMark;
    THyperlinkType type = THyperlinkType::hltUnknown;
    THyperlinkEncoding encoding = THyperlinkEncoding::hleUnknown;
    uint32_t flags = 0;
    std::vector<uint8_t> raw; // the body of a link of unknown kind
    bool changed = false;
};

class THyperlinks : public TCollection<THyperlink> {
public:
    THyperlink& Add();
    THyperlink& Items(int index) const { return GetItem(index); }
    void Assign(const THyperlinks& source);
    void Clear();
    // The sheet index given when links were read.
    int SheetIndex = 0;
    // Whether a text compiles as a formula referring into the workbook
    // (the sheet sets it); without it no address is a workbook link.
    std::function<bool(std::u16string_view)> CompilesAsFormula;

    // An HLINK body; a malformed one raises XLSError.
    void ReadHyperlink(std::span<const uint8_t> body, int sheetIndex);
    // The HLINKTOOLTIP that followed the last link read.
    void ReadToolTip(std::span<const uint8_t> body);
    // HLINK records (with their HLINKTOOLTIP) of every link; areas beyond
    // the BIFF8 limits are clipped, links wholly beyond them left out, and
    // so are links without a target, named through warn.
    void WriteHyperlinks(TXLSStream& stream, const std::function<void(std::string)>& warn = {}) const;
    static std::string TargetlessWarning(int count, std::string_view target);
};

} // namespace xls
