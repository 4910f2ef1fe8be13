// Compiles and assembles listings with real toolchains and checks that the
// program or blob they make holds exactly the source bytes.

#include "run_process.hpp"

#include <gtest/gtest.h>

#include <random>

namespace fs = std::filesystem;

namespace {

struct fixture {
    const char* name;
    std::string bytes;
};

std::string all_byte_values()
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

std::string random_bytes(std::size_t size)
{
    std::mt19937 random(64);
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

std::string repeated(const std::string& piece, int times)
{
    std::string bytes;
    while (times-- > 0)
        bytes += piece;
    return bytes;
}

const std::vector<fixture> fixtures = {
    {"all_byte_values", all_byte_values()},
    {"comment_marks", repeated("*/*/ /* x */*/", 5) + "/*"},
    {"backslash_ends_records", repeated("abcdefghijklmno\\", 3) + "pq\\"},
    {"trigraphs", repeated("?\?/?\?=?\?(?\?)?\?!", 4) + "abcdefghijklm?\?/"},
    {"line_breaks_and_controls", repeated(std::string("\r\n\0\x1A\n\r", 6) + "a\\", 7) + "\r"},
    {"double_byte_pairs", "ABCDEFGHIJKLMN\xB0\xA1" "ABCDEFGHIJKLMNO\xB0" "\xA1\x81\x82\x83\x80\xFF\x80\xFE"},
    {"multiple_of_16", repeated("0123456789abcdef", 4)},
    {"one_byte", "A"},
    {"random_64k", random_bytes(64 * 1024)},
};

struct toolchain {
    const char* name;
    bool c_dialect;
    std::vector<std::string> build; // run in the scratch directory
    std::vector<std::string> result; // the command whose standard output is checked
};

std::vector<std::string> compile(const std::string& compiler, const std::string& standard,
                                 const std::string& program)
{
    return {compiler, standard, "-pedantic", "-Wall", "-Wextra", "-Werror", "-o", "program", program};
}

const std::vector<toolchain> toolchains = {
    {"gcc_c89", true, compile("gcc", "-std=c89", "program.c"), {"./program"}},
    {"gcc_c11", true, compile("gcc", "-std=c11", "program.c"), {"./program"}},
    {"clang_c89", true, compile("clang", "-std=c89", "program.c"), {"./program"}},
    {"clang_c11", true, compile("clang", "-std=c11", "program.c"), {"./program"}},
    {"gxx_cxx17", true, compile("g++", "-std=c++17", "program.cpp"), {"./program"}},
    {"gxx_cxx20", true, compile("g++", "-std=c++20", "program.cpp"), {"./program"}},
    {"clangxx_cxx17", true, compile("clang++", "-std=c++17", "program.cpp"), {"./program"}},
    {"clangxx_cxx20", true, compile("clang++", "-std=c++20", "program.cpp"), {"./program"}},
    {"nasm", false, {"nasm", "-f", "bin", "-o", "blob.bin", "program.asm"}, {"cat", "blob.bin"}},
    {"yasm", false, {"yasm", "-f", "bin", "-o", "blob.bin", "program.asm"}, {"cat", "blob.bin"}},
};

const std::string c_program = "#include <stdio.h>\n"
                              "static const unsigned char data[] =\n"
                              "#include \"listing.inc\"\n"
                              "int main(void)\n"
                              "{\n"
                              "    return fwrite(data, 1, sizeof data, stdout) == sizeof data ? 0 : 1;\n"
                              "}\n";

const std::string asm_program = "data:\n"
                                "%include \"listing.asm\"\n";

void PrintTo(const fixture& input, std::ostream* out) { *out << input.name; }
void PrintTo(const toolchain& tools, std::ostream* out) { *out << tools.name; }

class toolchains_take_listings : public testing::TestWithParam<std::tuple<fixture, toolchain>> {};

TEST_P(toolchains_take_listings, back_to_the_source_bytes)
{
    const auto& [input, tools] = GetParam();
    const fs::path dir = fs::path(testing::TempDir()) /
                         ("kormelt-toolchain-" + std::to_string(getpid()) + "-" + input.name + "-" + tools.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    write_file(dir / "source.bin", input.bytes);
    write_file(dir / "program.c", c_program);
    write_file(dir / "program.cpp", c_program);
    write_file(dir / "program.asm", asm_program);

    const run_result listed = tools.c_dialect ? run_process({KORMELT_BINARY, "source.bin", "listing.inc", "/C"}, dir)
                                              : run_process({KORMELT_BINARY, "source.bin", "listing.asm"}, dir);
    ASSERT_EQ(listed.status, 0) << listed.out;

    const run_result built = run_process(tools.build, dir);
    ASSERT_NE(built.status, 127) << tools.build[0] << " is missing: scripts/install-deps test installs it";
    ASSERT_EQ(built.status, 0) << built.out << built.err;

    const run_result result = run_process(tools.result, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out == input.bytes) << "the bytes that came back differ from the source";
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(all, toolchains_take_listings,
                         testing::Combine(testing::ValuesIn(fixtures), testing::ValuesIn(toolchains)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

} // namespace
