// Benchmarks of the table engine on a vendor-like table (1,000,000 records by default; set
// VENDORLIST_BENCH_RECORDS to change it). Files live in a temporary directory, in the page
// cache. Run: build/bench/table_bench --benchmark_repetitions=1
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "dbe/area/table_area.h"
#include "dbe/area/work_area.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t recordCount() {
  const char* e = std::getenv("VENDORLIST_BENCH_RECORDS");
  return e ? static_cast<std::uint32_t>(std::strtoul(e, nullptr, 10)) : 1000000u;
}

struct Fixture {
  fs::path dir;
  fs::path table;
  Fixture() {
    dbe::dbeLoad("FOXDBE", true);
    dbe::dbeLoad("CDXDBE", true);
    dbe::dbeBuild("FOXCDX", "FOXDBE", "CDXDBE");
    std::string tmpl = (fs::temp_directory_path() / "tablebench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir = tmpl;
    table = dir / "APMSTRFL";
  }
  ~Fixture() { fs::remove_all(dir); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::string vendorName(std::uint32_t i) {
  static const char* kWords[] = {"Acme", "Bolt", "Cargo", "Delta", "Eagle", "Freight", "Gulf",
                                 "Harbor", "Interstate", "Junction", "Keystone", "Liberty"};
  std::string s = kWords[i % 12];
  s += ' ';
  s += kWords[(i / 12) % 12];
  s += " Trucking ";
  s += std::to_string(i * 2654435761u % 1000003u);
  return s;
}

void check(const dbe::Status& s) {
  if (!s.isOk()) {
    std::fprintf(stderr, "benchmark failed: %s\n", s.toString().c_str());
    std::abort();
  }
}

dbe::TableArea* openArea(bool shared) {
  dbe::OpenOptions o;
  o.shared = shared;
  check(dbe::workspace::use(fixture().table, o, 1));
  return dynamic_cast<dbe::TableArea*>(dbe::workspace::area());
}

void BM_AppendWithoutIndex(benchmark::State& state) {
  const std::uint32_t n = recordCount();
  for (auto _ : state) {
    check(dbe::workspace::closeAll());
    check(dbe::workspace::createTable(fixture().table,
                                      {{"NUMBER", 'C', 5, 0},
                                       {"NAME", 'C', 40, 0},
                                       {"CITY", 'C', 20, 0},
                                       {"DEFACCOUNT", 'N', 6, 0},
                                       {"VENDINACT", 'L', 0, 0}},
                                      true));
    dbe::TableArea* a = openArea(false);
    for (std::uint32_t i = 0; i < n; ++i) {
      check(a->appendBlank());
      check(a->fieldPut(1, rt::Value(std::to_string(i % 100000))));
      check(a->fieldPut(2, rt::Value(vendorName(i))));
      check(a->fieldPut(3, rt::Value("Springfield")));
    }
    check(dbe::workspace::closeAll());
  }
  state.counters["records"] = n;
}
BENCHMARK(BM_AppendWithoutIndex)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BuildTag(benchmark::State& state) {
  for (auto _ : state) {
    dbe::TableArea* a = openArea(false);
    check(a->createTag("NAMEORDR", "UPPER(NAME)", "", false, false));
    check(dbe::workspace::closeAll());
  }
}
BENCHMARK(BM_BuildTag)->Unit(benchmark::kMillisecond)->Iterations(1);

void traverse(benchmark::State& state, bool shared) {
  dbe::TableArea* a = openArea(shared);
  check(a->setOrder("NAMEORDR"));
  for (auto _ : state) {
    std::size_t bytes = 0;
    check(a->goTop());
    while (!a->eof()) {
      for (int f : {1, 2, 3}) {
        auto v = a->fieldGet(f);
        if (!v.isOk()) check(v.status());
        bytes += v->text().size();
      }
      check(a->skip(1));
    }
    benchmark::DoNotOptimize(bytes);
  }
  check(dbe::workspace::closeAll());
}
void BM_TraverseTagOrderExclusive(benchmark::State& s) { traverse(s, false); }
void BM_TraverseTagOrderShared(benchmark::State& s) { traverse(s, true); }
BENCHMARK(BM_TraverseTagOrderExclusive)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TraverseTagOrderShared)->Unit(benchmark::kMillisecond)->Iterations(1);

void seeks(benchmark::State& state, bool shared) {
  dbe::TableArea* a = openArea(shared);
  check(a->setOrder("NAMEORDR"));
  std::mt19937 rng(42);
  const std::uint32_t n = recordCount();
  std::vector<std::string> keys;
  for (int i = 0; i < 10000; ++i) {
    std::string k = vendorName(static_cast<std::uint32_t>(rng() % n));
    for (char& c : k) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    keys.push_back(k);
  }
  for (auto _ : state) {
    int found = 0;
    for (const auto& k : keys) {
      check(a->seek(rt::Value(k)));
      found += a->found() ? 1 : 0;
    }
    if (found != 10000) std::abort();
  }
  check(dbe::workspace::closeAll());
}
void BM_10000SeeksExclusive(benchmark::State& s) { seeks(s, false); }
void BM_10000SeeksShared(benchmark::State& s) { seeks(s, true); }
BENCHMARK(BM_10000SeeksExclusive)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_10000SeeksShared)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SharedAppendsTwoTags(benchmark::State& state) {
  {
    dbe::TableArea* a = openArea(false);
    check(a->createTag("APMSTRFL", "NUMBER", "", false, false));
    check(dbe::workspace::closeAll());
  }
  dbe::TableArea* a = openArea(true);
  const int kAppends = 100000;
  for (auto _ : state) {
    for (int i = 0; i < kAppends; ++i) {
      check(a->appendBlank());  // locks the new record
      check(a->fieldPut(1, rt::Value(std::to_string(i % 100000))));
      check(a->fieldPut(2, rt::Value(vendorName(static_cast<std::uint32_t>(i) + 7u))));
      check(a->unlock());
    }
  }
  state.counters["records_per_s"] =
      benchmark::Counter(kAppends, benchmark::Counter::kIsRate);
  check(dbe::workspace::closeAll());
}
BENCHMARK(BM_SharedAppendsTwoTags)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
