// The writers of a run's outputs: the classic program's order (the files
// before a failure stay) against the batch's all or none.
#include "run/image_files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "../test_util.hpp"

namespace veltrane2 {
namespace {

std::vector<std::string> file_names(const vt::fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : vt::fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(OutputWriters, InOrderKeepsWhatCameBeforeAFailureAllOrNoneKeepsNothing) {
    enum class Fault { kNone, kStaging, kRenaming };
    struct Case {
        Fault fault;  // of the second of three files
        bool all_or_none;
        std::vector<std::string> left;  // besides the folder the fault needs
        const char* report;
    } cases[] = {
        {Fault::kNone, false, {"a.txt", "b.txt", "c.txt"}, "abc"},
        {Fault::kNone, true, {"a.txt", "b.txt", "c.txt"}, "abc"},
        {Fault::kStaging, false, {"a.txt"}, "ab"},
        {Fault::kStaging, true, {}, "a"},
        {Fault::kRenaming, false, {"a.txt"}, "ab"},
        {Fault::kRenaming, true, {}, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.fault)) + (c.all_or_none ? " all or none" : " in order"));
        vt::ScratchDir dir;
        // A missing folder fails the temporary; a folder of the final name
        // fails the renaming.
        if (c.fault == Fault::kRenaming) vt::fs::create_directory(dir / "b.txt");
        const std::string second = c.fault == Fault::kStaging ? "missing/b.txt" : "b.txt";
        std::ostringstream report;
        bool threw = false;
        {
            OutputWriters w;
            Result& r = w.outputs();
            r.gain = r.noise = r.cleaned = Image{2, 2, 1.0, 1.0, 1.0, {1, 2, 3, 4}};
            for (const auto& [name, image] : {std::pair<std::string, Image*>{"a.txt", &r.gain}, {second, &r.noise}, {"c.txt", &r.cleaned}})
                w.start(FileToWrite{(dir / name).string(), FileFormat::kText, "in.txt", {}, {}}, *image, 1);
            try {
                if (c.all_or_none) {
                    w.wait(report);
                    w.commit_all();
                } else {
                    w.finish(report);
                }
            } catch (const Error& e) {
                threw = true;
                EXPECT_EQ(e.kind(), ErrorKind::kIo);
            }
        }
        EXPECT_EQ(threw, c.fault != Fault::kNone);
        std::vector<std::string> left = file_names(dir.path());
        std::erase(left, c.fault == Fault::kRenaming ? "b.txt" : "missing");
        EXPECT_EQ(left, c.left);  // and no temporary
        // The report lines, by the first letter of each file's name.
        std::string saved;
        std::istringstream lines(report.str());
        for (std::string line; std::getline(lines, line);) saved += vt::fs::path(line).filename().string()[0];
        EXPECT_EQ(saved, c.report) << report.str();
    }
}

// Three small outputs a.txt, b.txt and c.txt of `dir`, written and waited
// for (not yet in place).
void stage_three(OutputWriters& w, const vt::ScratchDir& dir) {
    Result& r = w.outputs();
    r.gain = r.noise = r.cleaned = Image{2, 2, 1.0, 1.0, 1.0, {1, 2, 3, 4}};
    for (const auto& [name, image] : {std::pair<std::string, Image*>{"a.txt", &r.gain}, {"b.txt", &r.noise}, {"c.txt", &r.cleaned}})
        w.start(FileToWrite{(dir / name).string(), FileFormat::kText, "in.txt", {}, {}}, *image, 1);
    std::ostringstream report;
    w.wait(report);
}

// Two batches given the same folder: while another process holds the
// folder's lock, no output of the set is put in place; once it lets go,
// all are.
TEST(OutputWriters, AllOrNoneWaitsForTheFoldersLock) {
    vt::ScratchDir dir;
    const int held = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    OutputWriters w;
    stage_three(w, dir);
    std::thread placing([&w] { w.commit_all(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (const std::string& name : file_names(dir.path())) EXPECT_NE(name.find(".tmp."), std::string::npos) << name;
    ::close(held);
    placing.join();
    EXPECT_EQ(file_names(dir.path()), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

// Outputs get the mode a plain create gives (0666 less the umask), and
// writing them, on several threads at once, leaves the umask as it was.
TEST(OutputWriters, OutputsTakeTheUmasksModeAndLeaveTheUmaskAlone) {
    vt::ScratchDir dir;
    const mode_t before = ::umask(027);
    {
        OutputWriters w;
        stage_three(w, dir);
        w.commit_all();
    }
    const mode_t after = ::umask(before);
    EXPECT_EQ(after, 027u);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        struct stat st {};
        ASSERT_EQ(::stat((dir / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << name;
    }
}

}  // namespace
}  // namespace veltrane2
