// Selecting a folder tree as a whole against the floor of listing the same tree through the same
// file system, in one run. Also a flat folder of 20,000 files, and loading a saved selection.
//
//   bench_select_all [--real DIR]   (--real: also on real files created below DIR)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"

using namespace tw;
using Clock = std::chrono::steady_clock;

namespace {

// Real files for the Windows paths "C:\..." below a host folder; only what a scan uses.
class HostFs : public IFileSystem {
 public:
  explicit HostFs(std::string base) : base_(std::move(base)) {}
  std::string Host(const std::string& path) const {
    std::string p = base_ + "/" + path.substr(0, 1);
    for (size_t i = 2; i < path.size(); ++i) p += path[i] == '\\' ? '/' : path[i];
    return p;
  }
  WinError ReadAll(const std::string&, std::string&) override { return winerr::NotSupported; }
  WinError WriteAtomic(const std::string&, const std::string&) override {
    return winerr::NotSupported;
  }
  WinError Stat(const std::string& path, FindData& info) override {
    std::error_code ec;
    auto st = std::filesystem::status(Host(path), ec);
    if (ec || !std::filesystem::exists(st)) return winerr::FileNotFound;
    info.attributes = std::filesystem::is_directory(st) ? fileattr::Directory : fileattr::Archive;
    info.size = info.IsDirectory() ? 0 : std::filesystem::file_size(Host(path), ec);
    return winerr::Success;
  }
  WinError SetAttrs(const std::string&, uint32_t) override { return winerr::NotSupported; }
  WinError Move(const std::string&, const std::string&, bool) override {
    return winerr::NotSupported;
  }
  WinError Remove(const std::string&) override { return winerr::NotSupported; }
  WinError MakeDir(const std::string&) override { return winerr::NotSupported; }
  WinError RemoveDir(const std::string&) override { return winerr::NotSupported; }
  WinError List(const std::string& folder, std::vector<FindData>& entries) override {
    entries.clear();
    std::error_code ec;
    std::filesystem::directory_iterator it(Host(folder), ec), end;
    if (ec) return winerr::PathNotFound;
    for (; it != end; it.increment(ec)) {
      FindData d;
      d.name = it->path().filename().string();
      bool dir = it->is_directory(ec);
      d.attributes = dir ? fileattr::Directory : fileattr::Archive;
      d.size = dir ? 0 : it->file_size(ec);
      entries.push_back(std::move(d));
    }
    return winerr::Success;
  }
  DriveType DriveKind(const std::string&) override { return DriveType::Fixed; }
  std::string TempFolder() override { return "C:\\Temp\\"; }

 private:
  std::string base_;
};

// Names as found on real disks: mixed case, varied lengths, not in any particular order.
std::string NameOf(uint64_t i) {
  static const char* kStems[] = {"Report", "img_", "Invoice ", "notes", "DSC", "backup-",
                                 "Übersicht", "data", "Setup", "readme"};
  static const char* kExts[] = {".txt", ".JPG", ".docx", ".dat", ".pdf", ".xlsx"};
  uint64_t h = i * 0x9E3779B97F4A7C15ULL;
  return std::string(kStems[h % 10]) + std::to_string(h >> 40) + kExts[(h >> 8) % 6];
}

struct Tree {
  std::vector<std::pair<std::string, uint64_t>> files;  // path, size
  std::vector<std::string> folders;
};

// C:\Tree: one folder of 50,000 files and 600 folders of 100 files at three levels; C:\Flat:
// 20,000 files.
Tree Build() {
  Tree t;
  uint64_t n = 0;
  auto file = [&](const std::string& folder) {
    t.files.emplace_back(folder + "\\" + NameOf(n), n % 5000);
    ++n;
  };
  t.folders.push_back("C:\\Tree\\Big");
  for (int i = 0; i < 50000; ++i) file("C:\\Tree\\Big");
  for (int a = 0; a < 6; ++a)
    for (int b = 0; b < 10; ++b)
      for (int c = 0; c < 10; ++c) {
        std::string f = "C:\\Tree\\Dept " + std::to_string(a) + "\\Project" + std::to_string(b) +
                        "\\v" + std::to_string(c);
        t.folders.push_back(f);
        for (int i = 0; i < 100; ++i) file(f);
      }
  t.folders.push_back("C:\\Flat");
  for (int i = 0; i < 20000; ++i) file("C:\\Flat");
  return t;
}

struct Listing {
  uint64_t files = 0, bytes = 0, names = 0;
};

// The floor: what any walk of the folder costs, listing each folder once.
void Enumerate(IFileSystem& fs, const std::string& folder, Listing& out) {
  std::vector<FindData> entries;
  if (fs.List(folder + "\\", entries) != winerr::Success) return;
  for (const FindData& e : entries) {
    out.names += e.name.size();
    if (e.IsDirectory()) {
      Enumerate(fs, folder + "\\" + e.name, out);
    } else {
      ++out.files;
      out.bytes += e.size;
    }
  }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <class F>
double Best(int runs, F&& f) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, Seconds(Clock::now() - t0));
  }
  return best;
}

void Run(const char* label, IFileSystem& fs, const std::string& saveTo) {
  uint64_t counted = 0;
  int64_t bytes = 0;
  OnFileAdded = [&](TWLNode& n, int i) {  // what the window's counters do
    ++counted;
    bytes += n.FileSize(i);
  };
  int pumps = 0;
  const int runs = 5;

  Listing floor;
  double tList = Best(runs, [&] {
    floor = Listing{};
    Enumerate(fs, "C:\\Tree", floor);
  });
  size_t selected = 0;
  double tSelect = 1e9;
  for (int i = 0; i < runs; ++i) {  // the tree is freed outside the timed part
    TWLDesktopNode tree(fs);
    tree.Environment().processMessages = [&] { ++pumps; };
    auto t0 = Clock::now();
    tree.AddPath("C:\\Tree")->SelectAll();
    tSelect = std::min(tSelect, Seconds(Clock::now() - t0));
    selected = 0;
    WalkSelection(tree, nullptr, [&](const TWLNode&, int) { return ++selected, true; });
  }
  std::printf("[%s] C:\\Tree: %llu files (one folder of 50,000)\n", label,
              static_cast<unsigned long long>(floor.files));
  std::printf("  bare enumeration   %8.1f ms\n", tList * 1e3);
  std::printf("  SelectAll          %8.1f ms   (%zu files selected)  ratio %.2fx\n", tSelect * 1e3,
              selected, tSelect / tList);

  Listing flatFloor;
  double tFlatList = Best(runs, [&] {
    flatFloor = Listing{};
    Enumerate(fs, "C:\\Flat", flatFloor);
  });
  double tFlat = 1e9;
  for (int i = 0; i < runs; ++i) {
    TWLDesktopNode tree(fs);
    tree.Environment().processMessages = [&] { ++pumps; };
    auto t0 = Clock::now();
    tree.AddPath("C:\\Flat")->SelectAll();
    tFlat = std::min(tFlat, Seconds(Clock::now() - t0));
  }
  std::printf("  flat %llu files: enumeration %.1f ms, SelectAll %.1f ms  ratio %.2fx\n",
              static_cast<unsigned long long>(flatFloor.files), tFlatList * 1e3, tFlat * 1e3,
              tFlat / tFlatList);

  if (!saveTo.empty()) {
    // The same flat folder with every file selected one by one, saved and loaded again.
    TWLDesktopNode tree(fs);
    TWLNode* n = tree.AddPath("C:\\Flat");
    n->SelectAll();
    n->SetAllSelected(false);
    double tSave = Best(1, [&] { (void)tree.SaveToFile(saveTo); });
    double tLoad = Best(1, [&] { tree.LoadFromFile(saveTo); });
    std::printf("  20,000 single files: save %.1f ms, load %.1f ms (%d files back)\n",
                tSave * 1e3, tLoad * 1e3, tree.FindNode("C:\\Flat")->FileCount());
  }
  OnFileAdded = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Tree t = Build();

  MemoryFileSystem mem;
  mem.AddDrive("C:", DriveType::Fixed);
  mem.MakeDirs("C:\\Prog");
  for (const auto& f : t.folders) mem.MakeDirs(f);
  for (const auto& [path, size] : t.files) mem.WriteFile(path, std::string(size % 64, 'x'));
  Run("in memory", mem, "C:\\Prog\\Bench.TWS");

  if (argc == 3 && std::strcmp(argv[1], "--real") == 0) {
    HostFs host(std::string(argv[2]) + "/tw-bench");
    std::filesystem::remove_all(std::string(argv[2]) + "/tw-bench");
    for (const auto& f : t.folders) std::filesystem::create_directories(host.Host(f));
    for (const auto& [path, size] : t.files) std::ofstream(host.Host(path)) << std::string(size % 64, 'x');
    Run("real files", host, "");
    std::filesystem::remove_all(std::string(argv[2]) + "/tw-bench");
  }
  return 0;
}
