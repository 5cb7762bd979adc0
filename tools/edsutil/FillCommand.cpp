// edsutil fill: the percent fill of a cableway section, the summed cross
// section of its cables as a percentage of the section's area, computed by the
// library's application tool.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "KelEdsApplicationTool.h"

namespace edsutil {
namespace {

struct FillOptions {
  bool json = false;
  std::string type;
  double area = 0.0;
  std::vector<double> diameters;  // the first list: diameters, areas, or which watertight cables count
  std::vector<double> sizes;      // the second list: watertight cable sizes
};

std::string HangerType(const std::string& given) {
  if (given == "watertight") return KelEdsApplicationTool::WaterTightHanger;
  if (given == "non-watertight") return KelEdsApplicationTool::NonWaterTightHanger;
  return given;
}

std::string Fill(const FillOptions& options) {
  const std::string type = HangerType(options.type);
  const bool watertight = type == KelEdsApplicationTool::WaterTightHanger;
  std::vector<double> first = options.diameters;
  if (watertight) {
    if (options.sizes.empty()) throw UsageError("a watertight hanger needs --sizes");
    // Without a first list every watertight cable counts.
    if (first.empty()) first.assign(options.sizes.size(), 1.0);
    if (first.size() != options.sizes.size()) {
      throw UsageError("--diameters and --sizes must have as many values (" + std::to_string(first.size()) + " and " +
                       std::to_string(options.sizes.size()) + ")");
    }
  } else {
    if (first.empty()) throw UsageError("give the cables' values with --diameters");
  }
  if (!std::isfinite(options.area) || options.area <= 0) {
    throw Failure("the area must be a number above 0, not " + FormatNumber(options.area, false));
  }
  KelRawColldouble values, sizes;
  for (double value : first) values.Append(value);
  for (double size : options.sizes) sizes.Append(size);
  double percent = 0.0;
  KelEdsApplicationTool tool;
  if (tool.GetComputedPercentFill(values, sizes, KelUnicodeString(type), options.area, percent) < 0) {
    throw Failure("cannot compute the percent fill: every cable value must be a finite number");
  }
  if (!watertight && type != KelEdsApplicationTool::NonWaterTightHanger) {
    std::fprintf(stderr, "edsutil fill: note: hanger type '%s' has no rule of its own: the values are taken as areas\n",
                 type.c_str());
  }
  Record record;
  record.Add("percentFill", FormatNumber(percent, options.json), JsonKind::Number);
  if (options.json) record.Add("hangerType", type);
  return record.Render(options.json);
}

}  // namespace

void AddFillCommand(CLI::App& app) {
  auto options = std::make_shared<FillOptions>();
  CLI::App* fill = app.add_subcommand("fill", "Compute the percent fill of a cableway section");
  fill->footer(
      "Percent fill = 100 x (sum of the cables' areas) / AREA. A cable's area depends on the hanger type:\n"
      "  KelHgrNonWaterTightCblPn (or non-watertight)  pi x (d/2)^2, d from --diameters\n"
      "  KelHgrWaterTightCblPn (or watertight)         s x s, s from --sizes; a cable counts when its\n"
      "                                                --diameters value is above 0 (all do without it)\n"
      "  any other type                                the --diameters values taken as areas\n"
      "Cables whose --diameters value is 0 or less are skipped.");
  fill->add_option("-t,--type", options->type, "Hanger type")->required();
  fill->add_option("-a,--area", options->area, "Area of the cableway section, in the unit of the cables' areas")
      ->required();
  fill->add_option("-d,--diameters,--values", options->diameters, "The cables' values, separated by blanks or commas")
      ->delimiter(',');
  fill->add_option("-s,--sizes", options->sizes, "The watertight cables' sizes, separated by blanks or commas")
      ->delimiter(',');
  AddJsonFlag(*fill, options->json);
  fill->callback([options] { Emit(Fill(*options)); });
}

}  // namespace edsutil
