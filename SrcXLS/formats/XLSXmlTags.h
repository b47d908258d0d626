// The element tree of a package part: the tokenizer's events become light
// nodes whose element and attribute names are small integers of the fixed
// vocabularies; a reader gets every finished element by its id and takes
// what it models through typed getters. Consumed subtrees go back to a pool
// at once, so a big worksheet is read without building its tree. Also the
// value vocabularies (fill patterns, border styles, alignments) and the
// writer of fonts and colours.
#pragma once

#include "SrcXLS/XLSColors.h"
#include "SrcXLS/formats/XLSXSavedTags.h"
#include "SrcXLS/formats/XLSXVocabulary.h"
#include "SrcXLS/formats/XLSXml.h"

#include <forward_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXFont;

enum TExElement : int {
#define XLSX_ENUM(id, text) et##id,
    XLSX_ELEMENTS(XLSX_ENUM)
#undef XLSX_ENUM
        etCount,
    etUnknown = 999,
};

enum TExAttribute : int {
#define XLSX_ENUM(id, text) ea##id,
    XLSX_ATTRIBUTES(XLSX_ENUM)
#undef XLSX_ENUM
        eaCount,
};

// Name of an element or attribute id ("" for unknown ids).
std::string_view ElementName(int id);
std::string_view AttributeName(int id);
// Id of a name; etUnknown / -1 when it is not in the vocabulary.
int ElementId(std::string_view name);
int AttributeId(std::string_view name);

// Value vocabularies: the position is the stored value.
std::span<const std::string_view> FillPatternNames();    // 19: "none" .. "gray0625"
std::span<const std::string_view> BorderStyleNames();    // 14: "none" .. "slantedDashDot"
std::span<const std::string_view> HorizAlignmentNames(); // 8: "general" .. "distributed"
std::span<const std::string_view> VertAlignmentNames();  // 5: "top" .. "distributed"
int IndexOfName(std::span<const std::string_view> names, std::string_view name, int defaultValue);

// The name without its namespace prefix ("x:sheet" -> "sheet").
std::string_view LocalPart(std::string_view name);

class TExXMLTag {
public:
    struct TValue {
        int Id; // -1 for a name outside the vocabulary (kept for re-serialising)
        std::string_view Name;
        std::string_view Raw; // as read: references not resolved
    };

    TExXMLTag* Parent = nullptr;
    int Id = etUnknown;
    std::string_view Name;
    std::string_view Text; // raw
    std::vector<TExXMLTag*> Children;
    std::vector<TValue> Values;

    bool HasValue(int attrId) const { return Find(attrId) != nullptr; }
    const TValue* Find(int attrId) const;
    // The raw value of the attribute of this name (outside the vocabulary too); empty when absent.
    std::string_view RawNamed(std::string_view name) const;
    bool GetBool(int attrId, bool defaultValue) const;
    int64_t GetInt(int attrId, int64_t defaultValue) const;
    double GetFloat(int attrId, double defaultValue) const;
    std::string_view GetText(int attrId, std::string_view defaultValue = {}) const;
    // The value converted from UTF-8 with its references resolved.
    std::u16string GetTextW(int attrId, std::u16string_view defaultValue = {}) const;
    std::string GetTextUtf8(int attrId) const;
    int GetEnum(int attrId, std::span<const std::string_view> names, int defaultValue) const;

    // Each raises "Required value missing: <name>" when the attribute is
    // absent and a message naming it when its value is not one.
    double ReqFloat(int attrId) const;
    int64_t ReqInt(int attrId) const;
    std::string_view ReqText(int attrId) const;
    void ReqCellRef(int attrId, int& col, int& row) const;
    void ReqArea(int attrId, int& col1, int& row1, int& col2, int& row2) const;

    TExXMLTag* FindChild(int elementId) const;
    TExXMLTag* FindChildByName(std::string_view localName) const;
    const TValue* FindChildValue(int elementId, int attrId) const;

    std::u16string GetTextDecoded() const { return XMLDecodeText(Text); }
    bool GetTextBool() const;
    int64_t GetTextInt() const;
    double GetTextFloat() const;

    // Iterates the children in document order; with an expected id set, a
    // child of another element raises "Unexpected tag %d, %s".
    void SetExpectedChild(int elementId) {
        expected = elementId;
        cursor = 0;
    }
    TExXMLTag* NextChild();

    // The element and its subtree as text, every attribute in document
    // order with its raw value.
    std::string ToText() const;
    void AppendText(std::string& out) const;
    // The same, taking the text its closed children became as they ended
    // (see THold::Keep): what the element held goes as it is copied.
    std::string TakeText();
    // The bytes of ToText.
    uint64_t TextBytes() const;

private:
    friend class TXLSExcelXmlReader;
    int expected = -1;
    size_t cursor = 0;
    std::string ownText; // text joined around comments and CDATA, or kept from a piece
    // Names and values copied out of a piece: they go with the element.
    std::forward_list<std::string> ownCopies;
    // The closed children of an element kept as text, already as text: in
    // pieces, so that a long text is never copied as it grows.
    std::vector<std::string> keptText;
    uint64_t KeptBytes() const;
    size_t HeadBytes() const;
    void AppendHead(std::string& out) const;
    // Appends the element's text to a kept text, taking its own.
    void MoveTextTo(std::vector<std::string>& to);
    size_t keptChildren = 0; // leading children whose texts no longer lie in a piece
    uint64_t cost = 0;       // what the element counts against the tree's bound
    uint8_t hold = 0;        // what the tree keeps of the subtree (THold of the reader)
};

// Numbers of attribute texts: false for a text that is not one (or does not fit).
bool ParseXMLInt(std::string_view text, int64_t& value);
bool ParseXMLFloat(std::string_view text, double& value);

class TXLSExcelXmlReader : public TXLSXmlReader {
public:
    TXLSExcelXmlReader();
    ~TXLSExcelXmlReader() override;

    // Reads a whole part into the tree, handing finished elements to OnTag.
    void ReadPart(std::string_view data, std::string_view name);
    // The same for a part that arrives in pieces.
    void ReadPart(TPieceSource fill, std::string_view name, size_t pieceSize);
    TExXMLTag& Root() { return *root; }
    // The root element's attributes as text, without the default and "r"
    // namespace declarations.
    std::string RootAttributeText(const TExXMLTag& tag) const;

protected:
    // What the tree keeps of an element below the document's root and its
    // subtree until the element ends: all of it (what the reader models),
    // its text as much as the package may still keep (what it keeps as
    // text: each element becomes text as it ends), or nothing past each
    // element's end (what it passes over). Asked of every element whose
    // parent is modelled; the elements below the others hold as they do.
    enum class THold : uint8_t { Model, Keep, Drop };
    virtual THold HoldOf(int /*elementId*/, const TExXMLTag& /*tag*/) const { return THold::Model; }
    // Bytes the package may still keep of elements it keeps as text.
    uint64_t KeepLeft = UINT64_MAX;
    // Bytes the elements the tree holds at once may take (their nodes,
    // attributes and the texts copied for them); past it the part is
    // refused, naming the bound.
    uint64_t TreeBudget = uint64_t(256) << 20;
    // The subtree of the element being kept ran past KeepLeft: the tree
    // left out its elements as they ended.
    bool HeldPastBudget() const { return heldPast; }

    // A known element was created, before its children.
    virtual void OnTagStart(int /*elementId*/, TExXMLTag& /*tag*/) {}
    // An element ended; true when its data was consumed, so that its parent
    // drops its children.
    virtual bool OnTag(int /*elementId*/, TExXMLTag& /*tag*/) { return false; }

    void OnBeginTag(std::string_view name, std::string_view text, bool isEmpty) override;
    void OnEndTag(std::string_view name) override;
    void OnAttribute(std::string_view name, std::string_view value) override;
    void OnBufferMoving(std::string_view bytes) override;

    TExXMLTag* CurrentTag() const { return current; }
    void DropChildren(TExXMLTag& tag);
    // ReadPart of a whole part that leaves no element behind, read or refused.
    void ReadPartAndDrop(std::string_view data, std::string_view name);

private:
    TExXMLTag* NewTag();
    void Release(TExXMLTag* tag);
    std::string_view LocalName(std::string_view name) const;
    void NoteNamespaces();
    void Reset();
    // Copies the texts of the tag (and of its closed subtrees) that lie in bytes.
    void KeepTexts(TExXMLTag& tag, std::string_view bytes, bool open);

    // The element's text joins its parent's kept text; past KeepLeft the
    // element being kept is left out.
    void KeepAsText(TExXMLTag& tag);
    void Count(TExXMLTag& tag, uint64_t bytes);

    std::vector<std::unique_ptr<TExXMLTag>> all;
    std::vector<TExXMLTag*> spare;
    TExXMLTag* root;
    TExXMLTag* current;
    std::vector<TExXMLTag::TValue> pending;
    uint64_t heldBytes = 0; // of the element being kept
    bool heldPast = false;
    uint64_t treeBytes = 0; // of the elements held
    // Prefixes bound to the main namespaces, and to the relationships one.
    std::vector<std::string> mainPrefixes;
    std::vector<std::string> relPrefixes;
};

// Typed readers of the style children of a node.
bool ReadOnOff(const TExXMLTag& parent, int elementId);
int ReadChildInt(const TExXMLTag& parent, int elementId, int defaultValue);
// The colour of a "color", "fgColor" or "bgColor" element; kind 4 (not set)
// for a missing one. Theme colours resolve through the package's theme.
TExtColor ReadColor(const TExXMLTag* tag, const TThemeColors& theme = DefaultThemeColors());
// A "font" or "rPr" element into font (name from "rFont" in a run).
void ReadFont(const TExXMLTag& tag, TXFont& font, const TThemeColors& theme = DefaultThemeColors());
uint8_t ReadApplyMask(const TExXMLTag& xf);

// The writer of the styles part's fonts and colours.
class TXLSExcelXmlWriter : public TXLSXmlWriter {
public:
    // One colour element ("color", or prefix + "Color"); nothing for kind 4.
    void WriteColor(std::string_view prefix, const TExtColor& color);
    // A font element, or "rPr" inside a rich-text run.
    void WriteFont(const TXFont& font, bool inRun);
};

// A font's colour as a 2007 colour record (indexed for BIFF fonts).
TExtColor FontColor(const TXFont& font);

} // namespace xls
