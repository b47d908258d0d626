// Form controls of real files read and written: every control gets its
// item with the same caption, macro, linked cell and source range after a
// write and a second read, and LibreOffice converting the original and the
// written file finds the same controls running the same macros, also after
// defined names before the macro names were deleted.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_process.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace xls;
namespace fs = std::filesystem;
using drawingtest::Bytes;

namespace {

// Control OBJ records (buttons, check boxes, radio buttons, list and combo
// boxes) of a workbook stream.
int ControlObjs(const Bytes& stream) {
    int count = 0;
    for (const auto& r : biffbuild::Records(stream)) {
        if (r.Id != 0x005D || r.Body.size() < 6 || GetU16(r.Body.data()) != 0x15) continue;
        const int type = GetU16(r.Body.data() + 4);
        count += type == 7 || type == 11 || type == 12 || type == 18 || type == 20;
    }
    return count;
}

template <class F> std::string Try(F&& f) {
    try {
        return WideToUtf8(f());
    } catch (const XLSError& e) {
        return std::string("! ") + e.what();
    }
}

// The controls of every sheet as the model gives them.
std::vector<std::string> Controls(TTabrix4& book) {
    std::vector<std::string> out;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TControlObjects& c = book.GetSheet(s).ControlsObjects();
        const std::string sheet = std::to_string(s) + " ";
        auto lists = [&](auto& collection) {
            for (int i = 0; i < collection.Count(); ++i) {
                auto& item = collection[i];
                out.push_back(sheet + WideToUtf8(item.Name) + " | " +
                              Try([&] { return item.GetDestCell(); }) + " | " +
                              Try([&] { return item.GetSourceArea(); }));
            }
        };
        auto captions = [&](auto& collection) {
            for (int i = 0; i < collection.Count(); ++i) {
                auto& item = collection[i];
                out.push_back(sheet + WideToUtf8(item.Name) + " | " + WideToUtf8(item.GetText()) + " | " +
                              WideToUtf8(item.GetMacroName()));
            }
        };
        lists(c.ListBoxes);
        lists(c.ComboBoxes);
        captions(c.Buttons);
        captions(c.CheckBoxes);
        captions(c.RadioButtons);
    }
    return out;
}

// Macro names, each with the one that takes its place.
using Rotation = std::vector<std::pair<std::string, std::string>>;

// LibreOffice's lines with each macro (".name?" of the script address)
// replaced by the next.
std::vector<std::string> Rotated(std::vector<std::string> lines, const Rotation& rotation) {
    for (auto& line : lines)
        for (const auto& [from, to] : rotation)
            if (auto at = line.find("." + from + "?"); at != std::string::npos) {
                line.replace(at + 1, from.size(), to);
                break;
            }
    return lines;
}

int Macros(const std::vector<std::string>& controls) {
    int count = 0;
    for (const auto& line : controls) count += line.find("Button") != std::string::npos && line.back() != ' ';
    return count;
}

} // namespace

TEST(DrawingControlsFiles, RealControlsComeBack) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    std::vector<std::string> copies;
    std::map<size_t, Rotation> rotations; // by the position of the changed copy
    int controls = 0, macros = 0;
    for (const fs::path& file : oracle::RealWorldXls()) {
        Bytes stream;
        try {
            stream = biffbuild::WorkbookStream(testfiles::Slurp(file.string()));
        } catch (const std::exception&) {
            continue;
        }
        const int objs = ControlObjs(stream);
        if (objs == 0) continue;
        SCOPED_TRACE(file.string());
        const std::string name = std::to_string(copies.size());
        const std::string out = dir.File("w" + name + ".xls");
        TTabrix4 book;
        book.SetFilename(file.u16string());
        book.Read();
        const std::vector<std::string> before = Controls(book);
        EXPECT_EQ(int(before.size()), objs); // one item per control
        book.SetFilename(fs::path(out).u16string());
        book.Write();
        TTabrix4 back;
        back.SetFilename(fs::path(out).u16string());
        back.Read();
        EXPECT_EQ(Controls(back), before);
        controls += int(before.size());
        macros += Macros(before);
        const std::string original = dir.File("o" + name + ".xls");
        fs::copy_file(file, original);
        copies.push_back(original);
        copies.push_back(out);

        // The buttons' macros given round through the model: each macro's
        // buttons run the next macro.
        std::vector<std::u16string> distinct;
        std::vector<TControlButton*> buttons;
        for (int s = 0; s < back.Sheets().Count(); ++s) {
            auto& collection = back.GetSheet(s).ControlsObjects().Buttons;
            for (int i = 0; i < collection.Count(); ++i) buttons.push_back(&collection[i]);
        }
        for (TControlButton* b : buttons) {
            const std::u16string m = b->GetMacroName();
            if (!m.empty() && std::find(distinct.begin(), distinct.end(), m) == distinct.end())
                distinct.push_back(m);
        }
        if (distinct.size() >= 2) {
            Rotation rotation;
            for (size_t k = 0; k < distinct.size(); ++k)
                rotation.push_back(
                    {WideToUtf8(distinct[k]), WideToUtf8(distinct[(k + 1) % distinct.size()])});
            for (TControlButton* b : buttons)
                for (const auto& [from, to] : rotation)
                    if (WideToUtf8(b->GetMacroName()) == from) {
                        b->SetMacroName(Utf8ToWide(to));
                        break;
                    }
            const std::string rotated = dir.File("r" + name + ".xls");
            back.SetFilename(fs::path(rotated).u16string());
            back.Write();
            rotations[copies.size() + 1] = rotation;
            copies.push_back(original);
            copies.push_back(rotated);
        }

        // Names before the macro names go: the buttons keep running theirs.
        TInternalNames& names = book.GetInternalNames();
        int deleted = 0;
        for (int i = 0; i < names.Count() && deleted < 2;)
            if (!(names.Items(i).Options & noVBAProcedure) && !names.Items(i).IsBuiltIn() &&
                Macros(before) > 0)
                names.Delete(i), ++deleted;
            else
                ++i;
        if (deleted == 0) continue;
        EXPECT_EQ(Controls(book), before);
        const std::string fewer = dir.File("n" + name + ".xls");
        book.SetFilename(fs::path(fewer).u16string());
        book.Write();
        copies.push_back(original);
        copies.push_back(fewer);
    }
    EXPECT_GT(controls, 300);
    EXPECT_GE(macros, 10);

    testfiles::LibreOfficeConvert(copies, dir.File("conv"), "fods");
    std::vector<std::string> fods;
    for (const auto& c : copies) fods.push_back(dir.File("conv/" + fs::path(c).stem().string() + ".fods"));
    auto read = drawingtest::DrawingOracle("controls", fods);
    int compared = 0, running = 0, rotated = 0;
    for (size_t i = 0; i + 1 < read.size(); i += 2) {
        SCOPED_TRACE(copies[i + 1]);
        ASSERT_EQ(read[i][0], "OK");
        if (auto r = rotations.find(i + 1); r != rotations.end()) {
            EXPECT_EQ(read[i + 1], Rotated(read[i], r->second));
            EXPECT_NE(read[i + 1], read[i]);
            ++rotated;
            continue;
        }
        EXPECT_EQ(read[i + 1], read[i]);
        compared += int(read[i].size()) - 1;
        for (const auto& line : read[i]) running += line.find("vnd.sun.star.script:") != std::string::npos;
    }
    EXPECT_GT(compared, 130);
    EXPECT_GE(running, 8);
    EXPECT_GE(rotated, 2);
}
