// edsutil eff ...: effectivity texts, parenthesised ranges such as
// "(1-5)(8-oo)" with "oo" for an open upper end, parsed, compared and united
// by the library's effectivity tool.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "KelEdsEffectivityTool.h"

namespace edsutil {
namespace {

constexpr const char* kTextHelp = "Effectivity text, such as \"(1-5)(8-oo)\"; - reads standard input";

struct EffOptions {
  bool json = false;
  std::string first;
  std::string second;
};

struct Effectivity {
  KelRawCollint lowers;
  KelRawCollint uppers;
};

std::string Bound(int upper) { return upper == KelEdsEffectivityTool::OpenEnd ? "oo" : std::to_string(upper); }

std::string Format(const Effectivity& eff) {
  std::string text;
  for (int k = 1; k <= eff.lowers.Size() && k <= eff.uppers.Size(); ++k) {
    text += "(" + std::to_string(eff.lowers[k]) + "-" + Bound(eff.uppers[k]) + ")";
  }
  return text;
}

// `what` names the argument in messages ("effectivity", "first effectivity").
Effectivity Parse(const std::string& argument, const std::string& what) {
  const std::string text = TextArgument(argument);
  Effectivity eff;
  KelEdsEffectivityTool tool;
  if (tool.ParseEffectivityRange(KelUnicodeString(text), eff.lowers, eff.uppers) >= 0) return eff;
  const std::string reason =
      text.find('-') == std::string::npos
          ? "it holds no range such as (1-5) or (8-oo)"
          : "range " + std::to_string(eff.lowers.Size() + 1) + " is not (lower-upper) with whole numbers from 0";
  throw Failure("cannot read the " + what + " '" + text + "': " + reason);
}

// Comparison and union reason about closed ranges; a reversed one is empty
// and would only mislead them.
void RequireOrdered(const Effectivity& eff, const std::string& what) {
  for (int k = 1; k <= eff.lowers.Size(); ++k) {
    if (eff.lowers[k] > eff.uppers[k]) {
      throw Failure("the " + what + " has a range whose lower bound is above its upper bound: (" +
                    std::to_string(eff.lowers[k]) + "-" + Bound(eff.uppers[k]) + ")");
    }
  }
}

// The union merges into the second set, which must be in ascending order of
// lower bounds and without overlaps for the result to be the true union.
Effectivity SortedDisjoint(const Effectivity& eff) {
  std::vector<std::pair<int, int>> ranges;
  for (int k = 1; k <= eff.lowers.Size(); ++k) ranges.emplace_back(eff.lowers[k], eff.uppers[k]);
  std::sort(ranges.begin(), ranges.end());
  Effectivity merged;
  for (const auto& [lower, upper] : ranges) {
    const int last = merged.uppers.Size();
    if (last > 0 && lower <= merged.uppers[last]) {
      merged.uppers[last] = std::max(merged.uppers[last], upper);
    } else {
      merged.lowers.Append(lower);
      merged.uppers.Append(upper);
    }
  }
  return merged;
}

std::string StatusName(KelEdsEffMatchingStatusEnum status) {
  switch (status) {
    case KelEdsEffIdentical:
      return "Identical";
    case KelEdsEffDisjoint:
      return "Disjoint";
    case KelEdsEffIncluded:
      return "Included";
    case KelEdsEffOverlapping:
      return "Overlapping";
    case KelEdsEffUnset:
      break;
  }
  return "Unset";
}

std::string ParseCommand(const EffOptions& options) {
  const Effectivity eff = Parse(options.first, "effectivity");
  Table table({{"RANGE", "range"},
               {"LOWER", "lower", JsonKind::Number},
               {"UPPER", "upper", JsonKind::Number},
               {"OPEN END", "openEnd", JsonKind::Flag}});
  for (int k = 1; k <= eff.lowers.Size(); ++k) {
    const bool open = eff.uppers[k] == KelEdsEffectivityTool::OpenEnd;
    table.AddRow({"(" + std::to_string(eff.lowers[k]) + "-" + Bound(eff.uppers[k]) + ")", std::to_string(eff.lowers[k]),
                  std::to_string(eff.uppers[k]), open ? "yes" : "no"});
  }
  return table.Render(options.json);
}

void RequireOneStdin(const EffOptions& options) {
  if (options.first == "-" && options.second == "-")
    throw UsageError("only one of A and B can be read from standard input");
}

std::string CompareCommand(const EffOptions& options) {
  RequireOneStdin(options);
  const Effectivity first = Parse(options.first, "first effectivity");
  const Effectivity second = Parse(options.second, "second effectivity");
  RequireOrdered(first, "first effectivity");
  RequireOrdered(second, "second effectivity");
  KelEdsEffMatchingStatusEnum status = KelEdsEffUnset;
  KelEdsEffectivityTool tool;
  if (tool.CompareEffectivityRange(first.lowers, first.uppers, second.lowers, second.uppers, status) < 0) {
    throw Failure("the effectivity tool could not compare '" + Format(first) + "' with '" + Format(second) + "'");
  }
  Record record;
  record.Add("status", StatusName(status));
  if (options.json) record.Add("code", std::to_string(static_cast<int>(status)), JsonKind::Number);
  return record.Render(options.json);
}

std::string UnionCommand(const EffOptions& options) {
  RequireOneStdin(options);
  const Effectivity first = Parse(options.first, "first effectivity");
  const Effectivity second = Parse(options.second, "second effectivity");
  RequireOrdered(first, "first effectivity");
  RequireOrdered(second, "second effectivity");
  const Effectivity base = SortedDisjoint(second);
  Effectivity united;
  KelEdsEffectivityTool tool;
  if (tool.ComputeUnionEffectivityRange(first.lowers, first.uppers, base.lowers, base.uppers, united.lowers,
                                        united.uppers) < 0) {
    throw Failure("the effectivity tool could not unite '" + Format(first) + "' and '" + Format(second) + "'");
  }
  return Record().Add("union", Format(united)).Render(options.json);
}

}  // namespace

void AddEffCommands(CLI::App& app) {
  auto options = std::make_shared<EffOptions>();
  CLI::App* eff = app.add_subcommand("eff", "Parse, compare and unite effectivity ranges");
  eff->footer("An effectivity is a text of closed ranges such as \"(1-5)(8-oo)\", \"oo\" for an open upper end.");
  eff->require_subcommand(1);

  CLI::App* parse = eff->add_subcommand("parse", "Show the ranges the library reads from an effectivity text");
  parse->add_option("TEXT", options->first, kTextHelp)->required();
  AddJsonFlag(*parse, options->json);
  parse->callback([options] { Emit(ParseCommand(*options)); });

  CLI::App* compare = eff->add_subcommand("compare", "Tell how effectivity B stands against A");
  compare->footer(
      "Prints Identical (same ranges in the same order), Included (every range of B inside a range\n"
      "of A), Overlapping (some range of B meets one of A) or Disjoint.");
  compare->add_option("A", options->first, kTextHelp)->required();
  compare->add_option("B", options->second, kTextHelp)->required();
  AddJsonFlag(*compare, options->json);
  compare->callback([options] { Emit(CompareCommand(*options)); });

  CLI::App* unite =
      eff->add_subcommand("union", "Unite two effectivities; touching ranges are joined, (1-5) and (6-7) give (1-7)");
  unite->add_option("A", options->first, kTextHelp)->required();
  unite->add_option("B", options->second, kTextHelp)->required();
  AddJsonFlag(*unite, options->json);
  unite->callback([options] { Emit(UnionCommand(*options)); });
}

}  // namespace edsutil
