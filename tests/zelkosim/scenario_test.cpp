// Every scenario shipped in zelkosim/scenarios against its expected output.
//
// X.out is what X.zs prints with the consumer "none"; X.CONSUMER.out what it
// prints with that consumer (skipped while the consumer is not built). Each
// scenario runs twice on fresh machines, and after each run every device is
// removed and nothing may be left behind (requests, pool).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scenario.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDir = ZELKOSIM_SCENARIO_DIR;

struct Case {
    std::string scenario;  // the script's name without .zs
    std::string consumer;  // none, dravick, miravel, both
    fs::path expected;
};

std::string ReadFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    for (const auto& e : fs::directory_iterator(kDir)) {
        if (e.path().extension() != ".out")
            continue;
        std::string stem = e.path().stem().string();  // "tap" or "tap.dravick"
        size_t dot = stem.find('.');
        Case c;
        c.scenario = stem.substr(0, dot);
        c.consumer = dot == std::string::npos ? "none" : stem.substr(dot + 1);
        c.expected = e.path();
        cases.push_back(c);
    }
    std::sort(cases.begin(), cases.end(),
              [](const Case& a, const Case& b) { return a.expected.filename() < b.expected.filename(); });
    return cases;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream s(text);
    for (std::string l; std::getline(s, l);)
        lines.push_back(l);
    return lines;
}

// Empty when equal; else where the two first differ.
std::string Difference(const std::string& got, const std::string& want)
{
    if (got == want)
        return "";
    std::vector<std::string> g = Lines(got), w = Lines(want);
    for (size_t i = 0; i < std::max(g.size(), w.size()); ++i) {
        std::string a = i < g.size() ? g[i] : "<end of output>";
        std::string b = i < w.size() ? w[i] : "<end of output>";
        if (a != b)
            return "line " + std::to_string(i + 1) + " differs\n  got:      " + a + "\n  expected: " + b;
    }
    return "the outputs differ in their line ends";
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.expected.filename().string(); }

class ScenarioOutput : public ::testing::TestWithParam<Case> {};

TEST_P(ScenarioOutput, MatchesTheExpectedFileOnEveryRunAndLeavesNothingBehind)
{
    const Case& c = GetParam();
    zelkosim::Consumer consumer;
    ASSERT_TRUE(zelkosim::ParseConsumer(c.consumer, &consumer)) << c.expected << ": no such consumer";
    if (!zelkosim::ConsumerAvailable(consumer))
        GTEST_SKIP() << "consumer " << c.consumer << " is not built";
    const fs::path script = kDir / (c.scenario + ".zs");
    ASSERT_TRUE(fs::exists(script)) << c.expected << " has no script " << script;
    const std::string want = ReadFile(c.expected);
    const std::vector<std::string> lines = Lines(ReadFile(script));

    for (int run = 1; run <= 2; ++run) {
        std::ostringstream out;
        std::string leftovers;
        {
            zelkosim::Session session(consumer, out);
            for (size_t i = 0; i < lines.size(); ++i) {
                std::string reason;
                ASSERT_TRUE(session.Execute(lines[i], &reason))
                    << script.filename().string() << " line " << i + 1 << ": " << reason;
            }
            leftovers = session.Shutdown();
        }
        EXPECT_EQ(Difference(out.str(), want), "") << "run " << run << " of " << script.filename().string() << " with "
                                                   << c.consumer << "; the whole output:\n"
                                                   << out.str();
        EXPECT_EQ(leftovers, "") << "after run " << run << ", every device removed";
    }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string n = info.param.scenario + "_" + info.param.consumer;
    for (char& ch : n)
        if (!isalnum((unsigned char)ch))
            ch = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Shipped, ScenarioOutput, ::testing::ValuesIn(Cases()), CaseName);

TEST(ScenarioFolder, EveryScriptHasAnExpectedOutputForTheConsumerNone)
{
    std::set<std::string> withOutput;
    for (const Case& c : Cases())
        if (c.consumer == "none")
            withOutput.insert(c.scenario);
    int scripts = 0;
    for (const auto& e : fs::directory_iterator(kDir)) {
        if (e.path().extension() != ".zs")
            continue;
        ++scripts;
        EXPECT_TRUE(withOutput.count(e.path().stem().string())) << e.path() << " has no .out beside it";
    }
    EXPECT_GE(scripts, 6);
}

TEST(ScenarioFolder, TheReadmeExampleRunsWithTheDefaultConsumer)
{
    std::string name = std::string("tap") +
                       (zelkosim::DefaultConsumer() == zelkosim::Consumer::None
                            ? ""
                            : std::string(".") + zelkosim::ConsumerName(zelkosim::DefaultConsumer())) +
                       ".out";
    EXPECT_TRUE(fs::exists(kDir / name)) << name;
}

}  // namespace
