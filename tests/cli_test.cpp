// Runs the built tool in a scratch directory of its own and compares its exact
// console output, exit status and files.

#include <gtest/gtest.h>

#include "listing_model.hpp"
#include "run_process.hpp"

#include <functional>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

const std::string banner = "\nKORMELT V3.0  any file to data lines\n"
                           "for include data in C or ASM source file\n";
const std::string usage = "Command: KORMELT source_name target_name [/C]\n"
                          " [/C] for C, else for ASM\n";

const std::string sample = "ABCDEFGHIJKLMNOPQ/";
const std::string sample_c =
    "\t\t\t\t{0x41,0x42,0x43,0x44,0x45,0x46,0x47,0x48,0x49,0x4A,0x4B,0x4C,0x4D,0x4E,0x4F,0x50,"
    "\t/* ABCDEFGHIJKLMNOP */\r\n"
    "\t\t\t\t 0x51,0x2F};\t/* Q. */\r\n";
const std::string sample_asm =
    "\t\t\t\tDB\t041H,042H,043H,044H,045H,046H,047H,048H,049H,04AH,04BH,04CH,04DH,04EH,04FH,050H"
    "\t; ABCDEFGHIJKLMNOP \r\n"
    "\t\t\t\tDB\t051H,02FH\t; Q. \r\n";
const std::string converted = "Source size: 18 bytes\n";

run_result run_tool(const fs::path& dir, std::vector<std::string> args,
                    const std::string& binary = KORMELT_BINARY,
                    std::optional<uid_t> uid = std::nullopt)
{
    args.insert(args.begin(), binary);
    return run_process(args, dir, uid);
}

// A scratch directory holding in.bin (the sample) and an empty directory dir.
fs::path make_scratch()
{
    static int serial = 0;
    const fs::path dir = fs::path(testing::TempDir()) /
                         ("kormelt-cli-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(dir);
    fs::create_directories(dir / "dir");
    write_file(dir / "in.bin", sample);
    return dir;
}

std::set<std::string> names_in(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

struct cli_case {
    const char* name;
    std::vector<std::string> args;
    std::string message; // printed after the banner
    int status;
    std::optional<std::string> listing; // content of out.txt, or no out.txt at all
    std::function<void(const fs::path&)> setup = nullptr;
    std::set<std::string> extra_files = {};
};

const std::vector<cli_case> cli_cases = {
    {"no_arguments", {}, usage, 3, std::nullopt},
    {"source_only", {"in.bin"}, usage, 3, std::nullopt},
    {"two_names_give_asm", {"in.bin", "out.txt"}, converted, 0, sample_asm},
    {"slash_C", {"in.bin", "out.txt", "/C"}, converted, 0, sample_c},
    {"slash_c", {"in.bin", "out.txt", "/c"}, converted, 0, sample_c},
    {"slash_C_and_more", {"in.bin", "out.txt", "/Cfoo"}, converted, 0, sample_c},
    {"dash_C_is_asm", {"in.bin", "out.txt", "-C"}, converted, 0, sample_asm},
    {"slash_A_is_asm", {"in.bin", "out.txt", "/A"}, converted, 0, sample_asm},
    {"lone_slash_is_asm", {"in.bin", "out.txt", "/"}, converted, 0, sample_asm},
    {"empty_word_is_asm", {"in.bin", "out.txt", ""}, converted, 0, sample_asm},
    {"fifth_word_ignored", {"in.bin", "out.txt", "/C", "/A"}, converted, 0, sample_c},
    {"empty_source", {"empty.bin", "out.txt", "/C"}, "Source size: 0 bytes\n", 0, "",
     [](const fs::path& dir) { write_file(dir / "empty.bin", ""); }, {"empty.bin"}},
    {"missing_source", {"nope.bin", "out.txt"}, "Failed open Source\n", 3, std::nullopt},
    {"directory_source", {"dir", "out.txt"}, "Failed open Source\n", 3, std::nullopt},
    {"target_in_missing_directory", {"in.bin", "missing/out.txt"}, "Failed create Target\n", 3,
     std::nullopt},
    {"target_is_directory", {"in.bin", "dir"}, "Failed create Target\n", 3, std::nullopt},
    {"full_disk", {"in.bin", "/dev/full"}, "Failed Writing\n", 3, std::nullopt},
    {"same_name", {"in.bin", "in.bin"}, "Source and Target are the same file\n", 3, std::nullopt},
    {"same_file_other_path", {"in.bin", "dir/../in.bin"}, "Source and Target are the same file\n",
     3, std::nullopt},
    {"same_file_hard_link", {"in.bin", "hard.bin"}, "Source and Target are the same file\n", 3,
     std::nullopt, [](const fs::path& dir) { fs::create_hard_link(dir / "in.bin", dir / "hard.bin"); },
     {"hard.bin"}},
    {"same_file_symbolic_link", {"in.bin", "soft.bin"}, "Source and Target are the same file\n", 3,
     std::nullopt, [](const fs::path& dir) { fs::create_symlink("in.bin", dir / "soft.bin"); },
     {"soft.bin"}},
};

class cli : public testing::TestWithParam<cli_case> {};

TEST_P(cli, prints_exits_and_writes_as_expected)
{
    const cli_case& row = GetParam();
    const fs::path dir = make_scratch();
    if (row.setup)
        row.setup(dir);

    const run_result result = run_tool(dir, row.args);

    EXPECT_EQ(result.out, banner + row.message);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(read_file(dir / "in.bin"), sample) << "the source must never change";
    std::set<std::string> expected_names = {"in.bin", "dir"};
    expected_names.insert(row.extra_files.begin(), row.extra_files.end());
    if (row.listing) {
        expected_names.insert("out.txt");
        EXPECT_EQ(read_file(dir / "out.txt"), *row.listing);
    }
    EXPECT_EQ(names_in(dir), expected_names);
    EXPECT_TRUE(fs::is_empty(dir / "dir"));
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(table, cli, testing::ValuesIn(cli_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(cli_sources, read_only_source_converts_for_an_unprivileged_user)
{
    const fs::path dir = make_scratch();
    fs::permissions(dir / "in.bin", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string binary = KORMELT_BINARY;
    std::optional<uid_t> uid;
    if (geteuid() == 0) {
        // root opens any file for writing, so the case only bites for a plain
        // user; the copy of the tool spares that user the build tree's modes.
        uid = 65534;
        fs::copy_file(binary, dir / "kormelt");
        binary = (dir / "kormelt").string();
        fs::permissions(dir, fs::perms::all);
    }
    const run_result result = run_tool(dir, {"in.bin", "out.txt", "/C"}, binary, uid);
    EXPECT_EQ(result.out, banner + converted);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir / "out.txt"), sample_c);
    fs::remove_all(dir);
}

TEST(cli_sources, pipe_source_ends_with_its_input)
{
    const fs::path dir = make_scratch();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    ASSERT_EQ(write(ends[1], sample.data(), sample.size()), static_cast<ssize_t>(sample.size()));
    close(ends[1]);
    // The way a shell hands over <(...): the tool gets only the read end.
    const run_result result = run_tool(dir, {"/dev/fd/" + std::to_string(ends[0]), "out.txt"});
    close(ends[0]);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, banner + converted);
    EXPECT_EQ(read_file(dir / "out.txt"), sample_asm);
    fs::remove_all(dir);
}

TEST(cli_sources, source_past_4_gib_is_counted_exactly)
{
    // A sparse file costs no disk; on tmpfs its holes also read fast.
    const fs::path dir = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::path(testing::TempDir());
    const fs::path source = dir / ("kormelt-sparse-" + std::to_string(getpid()) + ".bin");
    const std::uintmax_t size = (std::uintmax_t{1} << 32) + 17;
    std::ofstream(source).close();
    fs::resize_file(source, size);
    const run_result result = run_tool(dir, {source.string(), "/dev/null", "/C"});
    fs::remove(source);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, banner + "Source size: " + std::to_string(size) + " bytes\n");
}

TEST(cli_sources, random_files_match_the_plain_model)
{
    const fs::path dir = make_scratch();
    std::mt19937 random(7);
    for (const std::size_t size : {100u, 4096u, 5003u}) {
        std::vector<std::uint8_t> source(size);
        for (auto& b : source)
            b = static_cast<std::uint8_t>(random());
        write_file(dir / "random.bin", std::string(source.begin(), source.end()));
        const auto total = "Source size: " + std::to_string(size) + " bytes\n";
        const run_result c = run_tool(dir, {"random.bin", "out.c", "/C"});
        EXPECT_EQ(c.out, banner + total);
        EXPECT_EQ(read_file(dir / "out.c"), model_listing(source, dialect::c)) << size;
        const run_result assembler = run_tool(dir, {"random.bin", "out.asm"});
        EXPECT_EQ(assembler.out, banner + total);
        EXPECT_EQ(read_file(dir / "out.asm"), model_listing(source, dialect::assembler)) << size;
    }
    fs::remove_all(dir);
}

} // namespace
