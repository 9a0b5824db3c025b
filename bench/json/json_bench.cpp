// Decode and encode speed of our codec, RapidJSON, simdjson (DOM) and
// nlohmann/json on the standard corpus, with a summary table at the end.
// Speeds are MB/s of the input document for both directions.

#include <benchmark/benchmark.h>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "json/json.h"

namespace {

using lorvane::JSONValueRef;

struct Document {
  std::string name;
  std::string text;
  simdjson::padded_string padded;
};

const char* const kLibraries[] = {"ours", "RapidJSON", "simdjson", "nlohmann"};
const char* const kOperations[] = {"decode", "encode"};

std::vector<std::unique_ptr<Document>> loadCorpus() {
  std::vector<std::unique_ptr<Document>> documents;
  for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json", "gsoc-2018.json"}) {
    std::ifstream file(std::string(LORVANE_JSON_CORPUS_DIR) + "/" + name, std::ios::binary);
    if (!file) continue;
    std::stringstream contents;
    contents << file.rdbuf();
    auto document = std::make_unique<Document>();
    document->name = name;
    document->text = contents.str();
    document->padded = simdjson::padded_string(document->text);
    documents.push_back(std::move(document));
  }
  return documents;
}

void setBytes(benchmark::State& state, const Document& document) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(document.text.size()));
}

void decodeOurs(benchmark::State& state, const Document* document) {
  for (auto _ : state) {
    JSONValueRef value = lorvane::objectFromJSONString(document->text);
    if (!value) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(value.get());
  }
  setBytes(state, *document);
}

void encodeOurs(benchmark::State& state, const Document* document) {
  JSONValueRef value = lorvane::objectFromJSONString(document->text);
  for (auto _ : state) {
    std::optional<std::string> text = lorvane::JSONString(*value);
    if (!text) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(text->data());
  }
  setBytes(state, *document);
}

void decodeRapidJSON(benchmark::State& state, const Document* document) {
  for (auto _ : state) {
    rapidjson::Document parsed;
    parsed.Parse(document->text.data(), document->text.size());
    if (parsed.HasParseError()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(&parsed);
  }
  setBytes(state, *document);
}

void encodeRapidJSON(benchmark::State& state, const Document* document) {
  rapidjson::Document parsed;
  parsed.Parse(document->text.data(), document->text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    parsed.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  setBytes(state, *document);
}

void decodeSimdjson(benchmark::State& state, const Document* document) {
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element element;
    if (parser.parse(document->padded).get(element)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(&element);
  }
  setBytes(state, *document);
}

void encodeSimdjson(benchmark::State& state, const Document* document) {
  simdjson::dom::parser parser;
  simdjson::dom::element element;
  if (parser.parse(document->padded).get(element)) state.SkipWithError("decode failed");
  for (auto _ : state) {
    std::string text = simdjson::minify(element);
    benchmark::DoNotOptimize(text.data());
  }
  setBytes(state, *document);
}

void decodeNlohmann(benchmark::State& state, const Document* document) {
  for (auto _ : state) {
    nlohmann::json parsed = nlohmann::json::parse(document->text);
    benchmark::DoNotOptimize(&parsed);
  }
  setBytes(state, *document);
}

void encodeNlohmann(benchmark::State& state, const Document* document) {
  nlohmann::json parsed = nlohmann::json::parse(document->text);
  for (auto _ : state) {
    std::string text = parsed.dump();
    benchmark::DoNotOptimize(text.data());
  }
  setBytes(state, *document);
}

std::string benchmarkName(const char* operation, const char* library, const Document& document) {
  return std::string(operation) + "/" + library + "/" + document.name;
}

// Prints the usual lines and keeps MB/s of every run for the table: CPU
// time, which other work on a shared machine disturbs least, and the best
// run when --benchmark_repetitions asks for several.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  explicit TableReporter(std::map<std::string, std::size_t> inputSizes)
      : inputSizes_(std::move(inputSizes)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0 || run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.benchmark_name();
      const auto size = inputSizes_.find(name);
      if (size == inputSizes_.end()) continue;
      const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      const double speed = static_cast<double>(size->second) / seconds / 1e6;
      if (speed > speeds_[name]) speeds_[name] = speed;
    }
  }

  double speed(const std::string& name) const {
    const auto found = speeds_.find(name);
    return found == speeds_.end() ? 0.0 : found->second;
  }

 private:
  std::map<std::string, std::size_t> inputSizes_;
  std::map<std::string, double> speeds_;
};

}  // namespace

int main(int argc, char** argv) {
  const auto documents = loadCorpus();
  if (documents.empty()) {
    std::fprintf(stderr, "json_bench: no corpus documents in %s\n", LORVANE_JSON_CORPUS_DIR);
    return 1;
  }
  using Function = void (*)(benchmark::State&, const Document*);
  const Function functions[2][4] = {
      {decodeOurs, decodeRapidJSON, decodeSimdjson, decodeNlohmann},
      {encodeOurs, encodeRapidJSON, encodeSimdjson, encodeNlohmann},
  };
  std::map<std::string, std::size_t> inputSizes;
  for (const auto& document : documents) {
    for (int operation = 0; operation < 2; ++operation) {
      for (int library = 0; library < 4; ++library) {
        const std::string name =
            benchmarkName(kOperations[operation], kLibraries[library], *document);
        inputSizes[name] = document->text.size();
        benchmark::RegisterBenchmark(name.c_str(), functions[operation][library], document.get())
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  // Repetitions interleaved at random, so a burst of load on a shared
  // machine hits every library alike; the table keeps each one's best.
  // Flags given on the command line come later and win.
  std::vector<char*> arguments(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=5";
  std::string interleaving = "--benchmark_enable_random_interleaving=true";
  std::string minimumTime = "--benchmark_min_time=0.2";
  arguments.insert(arguments.begin() + 1,
                   {repetitions.data(), interleaving.data(), minimumTime.data()});
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  TableReporter reporter(inputSizes);
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nMB/s of input (best of the repetitions, CPU time)\n");
  std::printf("%-18s %-7s %9s %10s %9s %9s %15s %14s\n", "", "", "ours", "RapidJSON", "simdjson",
              "nlohmann", "ours/RapidJSON", "ours/simdjson");
  for (const auto& document : documents) {
    for (const char* operation : kOperations) {
      double speeds[4];
      for (int library = 0; library < 4; ++library) {
        speeds[library] = reporter.speed(benchmarkName(operation, kLibraries[library], *document));
      }
      std::printf("%-18s %-7s %9.0f %10.0f %9.0f %9.0f %15.2f %14.2f\n", document->name.c_str(),
                  operation, speeds[0], speeds[1], speeds[2], speeds[3],
                  speeds[1] > 0 ? speeds[0] / speeds[1] : 0.0,
                  speeds[2] > 0 ? speeds[0] / speeds[2] : 0.0);
    }
  }
  benchmark::Shutdown();
  return 0;
}
