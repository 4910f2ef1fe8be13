#pragma once

// Runs a program in a directory with no standard input and captures its
// standard output, standard error and exit status.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

inline std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void write_file(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

struct run_result {
    int status; // -1 when the program was killed or did not exit normally
    std::string out;
    std::string err;
};

// uid, when given, is the user to run as (needs root).
inline run_result run_process(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                              std::optional<uid_t> uid = std::nullopt,
                              std::chrono::seconds limit = std::chrono::seconds(60))
{
    namespace fs = std::filesystem;
    const fs::path capture = fs::temp_directory_path() / ("kormelt-capture-" + std::to_string(getpid()));
    fs::create_directories(capture);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open((capture / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((capture / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (uid && (setgid(*uid) != 0 || setuid(*uid) != 0))
            _exit(126);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        std::vector<char*> words;
        for (const std::string& word : argv)
            words.push_back(const_cast<char*>(word.c_str()));
        words.push_back(nullptr);
        execvp(words[0], words.data());
        _exit(127);
    }
    // A program that waits for an end of input that never comes is a
    // failure, not a hung test suite.
    int wait_status = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (waitpid(child, &wait_status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &wait_status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    run_result result{status, read_file(capture / "out"), read_file(capture / "err")};
    fs::remove_all(capture);
    return result;
}
