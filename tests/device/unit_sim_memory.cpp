// The simulated register's memory across runs, its scenario file and its
// own texts.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/simulator/SimText.h"
#include "device/simulator/StateFile.h"
#include "support_sim.h"

namespace {

using testfiles::ScratchDir;

int Programmed(sim::Simulator& s) {
    uint8_t length = 0;
    uint16_t capacity = 0, programmed = 0, failures = 0;
    const char* err = nullptr;
    EXPECT_EQ(s.GetLengthGoodsName(&length, &capacity, &programmed, &failures, &err), 0);
    return programmed;
}

TEST(SimMemory, ChangesSurviveARestart) {
    ScratchDir folder;
    {
        auto s = simtest::MakeSimulator(folder);
        simtest::Connect(*s);
        const char* err = nullptr;
        ASSERT_EQ(s->SetLengthGoodsName(22, &err), 0);
        ASSERT_EQ(s->EraseGoodsByCode(1, 4820000000000, &err), 0);
        ASSERT_EQ(s->SetGoodsPrice(2, 4820000000017, 777, &err), 0);
    }
    auto s = simtest::MakeSimulator(folder);
    simtest::Connect(*s);
    Q710GoodsData g{};
    const char* err = nullptr;
    EXPECT_EQ(s->GetGoodsByCode(1, 4820000000000, &g, &err), Q710_NOT_FOUND);
    ASSERT_EQ(s->GetGoodsByCode(2, 4820000000017, &g, &err), 0);
    EXPECT_EQ(g.price, 777u);
    uint8_t length = 0;
    uint16_t capacity = 0, programmed = 0, failures = 0;
    ASSERT_EQ(s->GetLengthGoodsName(&length, &capacity, &programmed, &failures, &err), 0);
    EXPECT_EQ(length, 22);
    EXPECT_EQ(programmed, 299);
}

TEST(SimMemory, DamagedStateFilesGiveAFreshRegister) {
    ScratchDir folder;
    { simtest::MakeSimulator(folder); }
    const std::string good = testfiles::Slurp(folder.File("state.bin"));
    ASSERT_GT(good.size(), 1000u);

    std::vector<std::string> damaged = {"", "\x01\x02\x03", good.substr(0, good.size() / 2), good, good};
    damaged[3][good.size() / 3] ^= 0x40;
    damaged[4].push_back('\0');
    for (const auto& bytes : damaged) {
        testfiles::Spit(folder.File("state.bin"), bytes);
        auto s = simtest::MakeSimulator(folder);
        simtest::Connect(*s);
        EXPECT_EQ(Programmed(*s), 300);
    }
}

TEST(SimMemory, EveryCutOfAnImageIsRefused) {
    sim::RegisterMemory memory = sim::RegisterMemory::Demo(5);
    const std::vector<uint8_t> image = memory.Serialize();
    sim::RegisterMemory other = sim::RegisterMemory::Demo(0);
    for (std::size_t size = 0; size < image.size(); ++size) {
        std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
        ASSERT_FALSE(other.Deserialize(cut)) << size;
    }
    EXPECT_EQ(other.goods.Programmed(), 0);
    ASSERT_TRUE(other.Deserialize(image));
    EXPECT_EQ(other.Serialize(), image);
    EXPECT_EQ(other.goods.Programmed(), 5);
}

TEST(SimMemory, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    ScratchDir folder;
    sim::StateFile file(folder.File("state.bin"));
    ASSERT_TRUE(file.Save({1, 2, 3}));
    ASSERT_EQ(file.Load(), (std::vector<uint8_t>{1, 2, 3}));

    // A folder in the way of the rename: the save fails as a whole.
    sim::StateFile blocked(folder.File("blocked"));
    std::filesystem::create_directories(folder.File("blocked/inside"));
    EXPECT_FALSE(blocked.Save({4, 5}));
    EXPECT_EQ(testfiles::CountEntries(folder.Path()), 2); // state.bin and blocked
    EXPECT_EQ(file.Load(), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(SimMemory, ScenarioFileIsReadAtStart) {
    ScratchDir folder;
    testfiles::Spit(folder.File("scenario.txt"),
                    "# a demo\nports 2\n\nfail MemoryFree at 1 status 0x42\nbogus line\n");
    sim::Simulator::Options options;
    options.statePath = folder.File("state.bin");
    options.scenarioPath = folder.File("scenario.txt");
    sim::Simulator s(options);
    const char* err = nullptr;
    EXPECT_EQ(s.Call<int16_t>("HostConnect", &err, [&] { return s.HostConnect(1, 9600, 20, 20, &err); }), 0);
    ASSERT_NE(s.Call<int16_t>("HostConnect", &err, [&] { return s.HostConnect(2, 9600, 20, 20, &err); }), 0);
    EXPECT_EQ(s.Call<uint8_t>("MemoryFree", &err, [&] { return s.MemoryFree(&err); }), 0x42);
    EXPECT_EQ(s.Call<uint8_t>("MemoryFree", &err, [&] { return s.MemoryFree(&err); }), 0);
}

TEST(SimText, UkrainianLettersInWindows1251) {
    EXPECT_EQ(sim::ToCp1251("ЕККА не відповідає"),
              "\xC5\xCA\xCA\xC0 \xED\xE5 \xE2\xB3\xE4\xEF\xEE\xE2\xB3\xE4\xE0\xBA");
    EXPECT_EQ(sim::ToCp1251("ҐґЇїЄєІіЁё№"), "\xA5\xB4\xAF\xBF\xAA\xBA\xB2\xB3\xA8\xB8\xB9");
    EXPECT_EQ(sim::ToCp1251("a\xE4\xB8\xAD"
                            "b"),
              "a?b");                      // no place in the code page
    EXPECT_EQ(sim::ToCp1251("\xD0"), "?"); // cut sequence
    EXPECT_EQ(sim::ToCp1251("\xFF\x41"), "?A");
}

} // namespace
