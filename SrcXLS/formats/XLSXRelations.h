// The relationships of a package's parts: one list for the workbook and one
// per sheet, kept sorted by Id for lookup. The workbook's list drops what the
// writer makes itself and is rebuilt, renumbered, before every write.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

enum TRelationPrefix : uint8_t {
    rpNone = 0,
    rpOfficeDocument = 1, // the relationship types of the published format
    rpOffice2006 = 2,     // Office extensions (vbaProject and others)
    rpStrict = 3,         // the strict variant of the published types
};

enum TRelationKind : uint8_t {
    rkEmpty,
    rkAdditionalCharacteristics,
    rkBibliography,
    rkCalcChain,
    rkSheetMetadata,
    rkConnections,
    rkXmlMaps,
    rkCustomXml,
    rkSharedStrings,
    rkRevisionHeaders,
    rkUsernames,
    rkStyles,
    rkTheme,
    rkThumbnail,
    rkVolatileDependencies,
    rkChartsheet,
    rkDialogsheet,
    rkExternalLink,
    rkPivotCacheDefinition,
    rkWorksheet,
    rkVbaProject,
    rkAttachedToolbars,
    rkXlIntlMacrosheet,
    rkCount,
};

struct TXMLRelation {
    std::string Id;
    int NumericId = 0;
    std::string TypeName;
    uint8_t Prefix = rpNone;
    std::string Target;
    uint8_t TargetMode = 0; // 0 not given, 1 Internal, 2 External
    uint8_t Kind = rkEmpty;
};

std::string_view RelationPrefixText(uint8_t prefix);
std::string_view RelationKindName(uint8_t kind);

class TXMLRelations {
public:
    virtual ~TXMLRelations() = default;

    int Count() const { return int(items.size()); }
    TXMLRelation& Item(int i) const { return *items[size_t(i)]; }
    void Clear() { items.clear(); }

    // A relationship with that Id appended; in checked mode a repeated Id
    // raises "Duplicate relation id" and the list stays sorted.
    TXMLRelation& Add(std::string_view id);
    // nullptr when missing; with required, "Required relationship missing: ".
    TXMLRelation* Find(std::string_view id, bool required = false) const;
    bool HasType(std::string_view typeName) const;
    void Remove(int i) { items.erase(items.begin() + i); }
    void SortById();
    void SetUnchecked() { unchecked = true; }
    void SetChecked() { unchecked = false; }
    bool Unchecked() const { return unchecked; }
    virtual bool KeepRelation(std::string_view /*fullType*/) const { return true; }

    static std::string FullType(const TXMLRelation& relation);
    static void SetType(TXMLRelation& relation, std::string_view fullType);

protected:
    std::vector<std::unique_ptr<TXMLRelation>> items;
    bool unchecked = false;
};

class TXMLRelationsWorkbook : public TXMLRelations {
public:
    // The writer's own relationships (worksheets, shared strings, styles,
    // calculation chain) are not kept.
    bool KeepRelation(std::string_view fullType) const override;
    // SetType; a type name outside the workbook list is kept with kind 0.
    static void SetWorkbookType(TXMLRelation& relation, std::string_view fullType);

    struct TRebuilt {
        // New Id of every kept relationship by its old Id.
        std::map<std::string, std::string> NewIds;
        // Ids of the worksheets, in sheet order.
        std::vector<std::string> SheetIds;
    };
    // Adds the theme (when none is kept), the worksheets, styles and shared
    // strings, sorts by kind and renumbers "rId1".. in that order.
    TRebuilt BuildForWrite(int sheetCount);
};

// The external-link relationships of the workbook's list (not owned).
class TXMLExtRelations {
public:
    void Clear() { items.clear(); }
    void AddRef(TXMLRelation* relation) { items.push_back(relation); }
    void RemoveRef(const TXMLRelation* relation) { std::erase(items, relation); }
    int Count() const { return int(items.size()); }
    TXMLRelation& Item(int i) const { return *items[size_t(i)]; }

private:
    std::vector<TXMLRelation*> items;
};

// The part a relationship's target names, relative to the part that holds
// the relationship ("xl/workbook.xml" + "worksheets/sheet1.xml").
std::string ResolvePartName(std::string_view sourcePart, std::string_view target);
// The relationships part of a part ("xl/_rels/workbook.xml.rels").
std::string RelationshipsPartName(std::string_view part);
// The target that names part from sourcePart ("../media/image1.png").
std::string RelativeTarget(std::string_view sourcePart, std::string_view part);
// The relationships of a part read as readFrom and written as writtenAs: an
// internal target that would name another part from the new place is made
// relative to it; the others stay as they were.
void RebaseTargets(TXMLRelations& relations, std::string_view readFrom, std::string_view writtenAs);

} // namespace xls
