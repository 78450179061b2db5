// Whole runs of the script runner beside lua5.4 running the same program,
// each a child process, the two started in turn (GS, Lua, GS, Lua, ...) so
// that a drift in the machine's speed falls on both; a row's ratio is the
// median of the ratios of its pairs. Start-up, compile (GS) or load (Lua),
// the run and the exit are all in the figures.
//   bubble sort of 3,000 ints in an array       goal: GS time / Lua time <= 1.0
//   100,000 concatenations of a short string    goal: <= 1.0
//   an empty program                            goal: <= 1.2
// The programs print what they computed, and both sides must print the same
// before anything is timed. Pairs: -n N (default 9; the empty program runs
// five times as many).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

extern char** environ;

namespace {

// The sort thread sleeps now and then: a run of script code is held to a
// budget of jumps between its waits.
const char* const kSortGs = R"(include "gs.gs"
include "test.gs"

class Test isclass GameObject {
  thread void Sort(int n) {
    int[] a = new int[n];
    int x = 1, i, j, t;
    for (i = 0; i < n; i++) {
      x = (x * 75 + 74) % 65537;
      a[i] = x;
    }
    for (i = 0; i < n - 1; i++) {
      for (j = 0; j < n - 1 - i; j++) {
        if (a[j] > a[j + 1]) {
          t = a[j];
          a[j] = a[j + 1];
          a[j + 1] = t;
        }
      }
      if (i % 32 == 31) Sleep(0.01);
    }
    Out.Print(a[0] + " " + a[n / 2] + " " + a[n - 1]);
  }
  void Main(void) {
    Sort(3000);
  }
};
)";

const char* const kSortLua = R"(local function sort(n)
  local a = {}
  local x = 1
  for i = 0, n - 1 do
    x = (x * 75 + 74) % 65537
    a[i] = x
  end
  for i = 0, n - 2 do
    for j = 0, n - 2 - i do
      if a[j] > a[j + 1] then
        local t = a[j]
        a[j] = a[j + 1]
        a[j + 1] = t
      end
    end
  end
  print(a[0] .. " " .. a[n // 2] .. " " .. a[n - 1])
end
sort(3000)
)";

const char* const kConcatGs = R"(include "gs.gs"
include "test.gs"

class Test {
  void Main(void) {
    string s = "";
    int i, lines = 0;
    for (i = 0; i < 100000; i++) {
      s = s + "ab";
      if (s.size() >= 64) {
        s = "";
        lines++;
      }
    }
    Out.Print(lines + " " + s.size());
  }
};
)";

const char* const kConcatLua = R"(local s = ""
local lines = 0
for i = 0, 100000 - 1 do
  s = s .. "ab"
  if #s >= 64 then
    s = ""
    lines = lines + 1
  end
end
print(lines .. " " .. #s)
)";

const char* const kEmptyGs = R"(class Test {
  void Main(void) {
  }
};
)";

const char* const kEmptyLua = "";

struct Row {
    const char* name;
    const char* file;
    const char* gs;
    const char* lua;
    int pairsPerN;
    double goal;
};

const Row kRows[] = {
    {"bubble sort of 3,000 ints", "sort", kSortGs, kSortLua, 1, 1.0},
    {"100,000 concatenations", "concat", kConcatGs, kConcatLua, 1, 1.0},
    {"empty program (start-up)", "empty", kEmptyGs, kEmptyLua, 5, 1.2},
};

struct Timing {
    double wall = 0;  // seconds
    double cpu = 0;   // user + system seconds of the child
    bool ok = false;
};

// Runs argv in `folder`, its output into `output` (or thrown away), and
// times it from the spawn to the reaping.
Timing Run(const std::vector<std::string>& words, const std::string& folder, const std::string& output)
{
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& w : copy)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.empty() ? "/dev/null" : output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    Timing t;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return t;
    int status = 0;
    struct rusage usage {};
    pid_t reaped;
    do
        reaped = ::wait4(pid, &status, 0, &usage);
    while (reaped < 0 && errno == EINTR);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    t.ok = reaped == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return t;
}

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int pairs = 9;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-n") == 0)
            pairs = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::string& folder = benchsupport::OwnTempFolder("gsrun-process-bench");
    struct Result {
        double gsWall, luaWall, gsCpu, luaCpu, wallRatio, cpuRatio;
    };
    std::vector<Result> results;
    for (const Row& row : kRows) {
        const std::string gs = std::string(row.file) + ".gs";
        const std::string lua = std::string(row.file) + ".lua";
        if (!benchsupport::WriteFile(folder + "/" + gs, row.gs) || !benchsupport::WriteFile(folder + "/" + lua, row.lua))
            return 1;
        const std::vector<std::string> gsWords = {GSRUN_PATH, "run", gs};
        const std::vector<std::string> luaWords = {"lua5.4", lua};
        // Same answer on both sides, and a warm-up for each.
        const std::string gsOut = folder + "/gs.out", luaOut = folder + "/lua.out";
        if (!Run(gsWords, folder, gsOut).ok || !Run(luaWords, folder, luaOut).ok ||
            FirstLine(gsOut) != (*row.lua ? FirstLine(luaOut) : "run " + gs + ": ok")) {
            std::fprintf(stderr, "%s: the runs failed or disagree: GS \"%s\", Lua \"%s\"\n", row.name,
                         FirstLine(gsOut).c_str(), FirstLine(luaOut).c_str());
            return 1;
        }
        std::vector<double> gsWall, luaWall, gsCpu, luaCpu, wallRatio, cpuRatio;
        for (int i = 0; i < pairs * row.pairsPerN; ++i) {
            const Timing a = Run(gsWords, folder, std::string());
            const Timing b = Run(luaWords, folder, std::string());
            if (!a.ok || !b.ok) {
                std::fprintf(stderr, "%s: a run failed\n", row.name);
                return 1;
            }
            gsWall.push_back(a.wall);
            luaWall.push_back(b.wall);
            gsCpu.push_back(a.cpu);
            luaCpu.push_back(b.cpu);
            wallRatio.push_back(b.wall > 0 ? a.wall / b.wall : 0);
            if (b.cpu > 0)
                cpuRatio.push_back(a.cpu / b.cpu);
        }
        results.push_back({Median(gsWall), Median(luaWall), Median(gsCpu), Median(luaCpu), Median(wallRatio),
                           Median(cpuRatio)});
        std::printf("%-28s GS %8.2f ms wall %8.2f ms cpu   Lua %8.2f ms wall %8.2f ms cpu   (%d pairs)\n", row.name,
                    results.back().gsWall * 1e3, results.back().gsCpu * 1e3, results.back().luaWall * 1e3,
                    results.back().luaCpu * 1e3, pairs * row.pairsPerN);
    }
    std::printf("\nGS time / Lua time, whole process (median of the pairs):\n");
    for (size_t i = 0; i < results.size(); ++i)
        std::printf("  %-28s wall %.3f  cpu %.3f  (goal <= %.1f)\n", kRows[i].name, results[i].wallRatio,
                    results[i].cpuRatio, kRows[i].goal);
    return 0;
}
