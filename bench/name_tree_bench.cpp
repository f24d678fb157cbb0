// Path look-ups in a name tree filled to its record limit, against two
// standard containers keyed by the whole path text as peers. A tree holds at
// most 8192 nodes, so "large" here means full: two shapes of about 8000 nodes,
// balanced (16 x 16 x 30) and broad (8 x 1000, long sibling lists).
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "services/core/service.h"
#include "services/text/name_tree.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

struct Shape {
  std::vector<int> fanOut;
};

const Shape kShapes[] = {{{16, 16, 30}}, {{8, 1000}}};

void AllPaths(const std::vector<int>& fanOut, std::size_t level, const std::string& prefix,
              std::vector<std::string>* out) {
  if (level == fanOut.size()) {
    out->push_back(prefix);
    return;
  }
  for (int i = 0; i < fanOut[level]; ++i) AllPaths(fanOut, level + 1, prefix + "/n" + std::to_string(i), out);
}

// The leaf paths in a scattered order, so successive look-ups share little.
std::vector<std::string> LeafPaths(const Shape& shape) {
  std::vector<std::string> paths;
  AllPaths(shape.fanOut, 0, "", &paths);
  std::vector<std::string> scattered;
  scattered.reserve(paths.size());
  for (std::size_t i = 0, j = 0; i < paths.size(); ++i, j = (j + 7919) % paths.size()) scattered.push_back(paths[j]);
  return scattered;
}

void BM_NameTreeFindPath(benchmark::State& state) {
  const auto paths = LeafPaths(kShapes[state.range(0)]);
  sfx::NameTree* tree = nullptr;
  if (sfx::Failed(sfx::NameTrees()->CreateNameTree(0, 0, &tree))) {
    state.SkipWithError("create failed");
    return;
  }
  std::uint16_t node = 0;
  for (const auto& p : paths) (void)tree->FindNamePath(p.c_str(), nullptr, 0, 1, sfx::kInsertAtEnd, &node);
  state.counters["nodes"] = tree->headerField(sfx::name_tree_header::kUsedNodes);
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string& p = paths[i];
    if (tree->FindNamePath(p.c_str(), nullptr, static_cast<std::uint32_t>(p.size()), 0, 0, &node) != sfx::kOk)
      state.SkipWithError("missing path");
    benchmark::DoNotOptimize(node);
    if (++i == paths.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  (void)tree->DestroyNameTree();
}
BENCHMARK(BM_NameTreeFindPath)->Arg(0)->Arg(1);

template <class Map>
void LookUpPeer(benchmark::State& state) {
  const auto paths = LeafPaths(kShapes[state.range(0)]);
  Map map;
  for (std::size_t k = 0; k < paths.size(); ++k) map.emplace(paths[k], static_cast<std::uint16_t>(k));
  std::size_t i = 0;
  for (auto _ : state) {
    const auto it = map.find(paths[i]);
    if (it == map.end()) state.SkipWithError("missing path");
    benchmark::DoNotOptimize(it->second);
    if (++i == paths.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_PeerStdMap(benchmark::State& state) { LookUpPeer<std::map<std::string, std::uint16_t>>(state); }
BENCHMARK(BM_PeerStdMap)->Arg(0)->Arg(1);

void BM_PeerUnorderedMap(benchmark::State& state) { LookUpPeer<std::unordered_map<std::string, std::uint16_t>>(state); }
BENCHMARK(BM_PeerUnorderedMap)->Arg(0)->Arg(1);

}  // namespace
