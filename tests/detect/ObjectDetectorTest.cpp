#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr const char* loadError =
    "ObjectDetector::detect. ERROR: Could not load classifier cascade\n";
const fs::path sourceData = fs::path(TESSARO_SOURCE_DIR) / "data";

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ProbeRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with a directory as its working directory, capturing both streams.
ProbeRun runIn(const fs::path& directory, const fs::path& program) {
    const fs::path out = directory / ".." / (directory.filename().string() + ".out");
    const fs::path err = directory / ".." / (directory.filename().string() + ".err");
    const std::string command = "cd '" + directory.string() + "' && '" + program.string() + "' >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    ProbeRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFile(out);
    run.err = readFile(err);
    return run;
}

class DetectorStartup : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tessaro-detect-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        work = root / "work";
        fs::create_directories(work);
    }
    void TearDown() override {
        if (!root.empty()) {
            fs::remove_all(root);
        }
    }

    void copyCascade(const char* name, const fs::path& into) {
        fs::create_directories(into);
        fs::copy_file(sourceData / name, into / name, fs::copy_options::overwrite_existing);
    }

    // The process ended during static initialisation: one message, status -1, main never ran.
    static void expectStoppedBeforeMain(const ProbeRun& run) {
        EXPECT_EQ(255, run.status);
        EXPECT_EQ(loadError, run.err);
        EXPECT_EQ("", run.out);
    }

    // A copy of the probe in root/bin with both cascades in root/data.
    fs::path probeBesideDataDirectory() {
        fs::create_directories(root / "bin");
        fs::copy_file(probe, root / "bin" / "probe");
        copyCascade("claquetasBlancas.xml", root / "data");
        copyCascade("claquetasNegras.xml", root / "data");
        return root / "bin" / "probe";
    }

    static void expectMainRan(const ProbeRun& run) {
        EXPECT_EQ(0, run.status);
        EXPECT_EQ("", run.err);
        EXPECT_EQ("main reached: white loaded, black loaded\n", run.out);
    }

    fs::path root;
    fs::path work;
    const fs::path probe = DETECT_STARTUP_PROBE;
};

} // namespace

TEST_F(DetectorStartup, WithoutCascadesTheProcessEndsBeforeMainWithTheMessage) {
    expectStoppedBeforeMain(runIn(work, probe));
}

TEST_F(DetectorStartup, TheBlackCascadeAloneMissingStopsTheProcessToo) {
    copyCascade("claquetasBlancas.xml", work);
    expectStoppedBeforeMain(runIn(work, probe));
}

TEST_F(DetectorStartup, TheWhiteCascadeMissingReportsOnce) {
    copyCascade("claquetasNegras.xml", work);
    expectStoppedBeforeMain(runIn(work, probe));
}

TEST_F(DetectorStartup, BothCascadesInTheWorkingDirectoryLetMainRun) {
    copyCascade("claquetasBlancas.xml", work);
    copyCascade("claquetasNegras.xml", work);
    expectMainRan(runIn(work, probe));
}

TEST_F(DetectorStartup, AFileThatIsNoCascadeCountsAsMissing) {
    std::ofstream(work / "claquetasBlancas.xml") << "<opencv_storage><cascade>broken";
    copyCascade("claquetasNegras.xml", work);
    expectStoppedBeforeMain(runIn(work, probe));
}

TEST_F(DetectorStartup, CascadesInTheDataDirectoryBesideTheExecutableAreFound) {
    const fs::path moved = probeBesideDataDirectory();
    expectMainRan(runIn(work, moved));
}

TEST_F(DetectorStartup, ABrokenFileInTheWorkingDirectoryFallsBackToTheNextPlace) {
    const fs::path moved = probeBesideDataDirectory();
    std::ofstream(work / "claquetasBlancas.xml") << "not a cascade";
    expectMainRan(runIn(work, moved));
}
