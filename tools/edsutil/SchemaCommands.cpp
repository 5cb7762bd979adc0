// edsutil schema ...: the queries of the metadata tool on the cable-routing
// schema, as aligned tables or JSON.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "SchemaModel.h"

namespace edsutil {
namespace {

constexpr const char* kClassHelp = "Class name, neutral (xq40718.Work_Package) or Tessel (Work_Package)";

struct SchemaOptions {
  bool json = false;
  std::string className;
  std::vector<std::string> names;  // attributes supplied, or the class filter
};

std::string YesNo(bool value) { return value ? "yes" : "no"; }

std::string KeyMarks(const AttributeInfo& attr) {
  std::string marks;
  auto add = [&](const char* mark) { marks += (marks.empty() ? "" : " ") + std::string(mark); };
  if (attr.primaryKey) add("PK");
  if (!attr.relationship.empty()) add(attr.external ? "REF" : "FK");
  if (attr.unique) add("U");
  return marks;
}

std::string Classes(bool json) {
  SchemaModel model;
  Table table({{"CLASS", "class"}, {"TESSEL NAME", "tessel"}, {"PRIMARY KEY", "primaryKey"}});
  for (const std::string& name : model.ClassNames()) {
    table.AddRow({name, model.Tool().TranslateClassToTessel(name).ToUTF8(), model.Tool().GetPrimaryKey(name).ToUTF8()});
  }
  return table.Render(json);
}

std::string Attributes(const std::string& className, bool json) {
  SchemaModel model;
  const ClassInfo info = model.Describe(className);
  Table table({{"ATTRIBUTE", "name"},
               {"TYPE", "type"},
               {"MANDATORY", "mandatory", JsonKind::Flag},
               {"KEY", "key"},
               {"MAGNITUDE", "magnitude"},
               {"RELATIONSHIP", "relationship"}});
  for (const AttributeInfo& attr : info.attributes) {
    table.AddRow({attr.name, attr.type, YesNo(attr.mandatory), KeyMarks(attr), attr.magnitude, attr.relationship});
  }
  return table.Render(json);
}

std::string Relationships(const std::string& className, bool json) {
  SchemaModel model;
  const ClassInfo info = model.Describe(className);
  Table table({{"NAME", "name"}, {"ATTRIBUTE", "attribute"}, {"REFERENCED CLASS", "target"}, {"KIND", "kind"}});
  for (const RelationshipInfo& rel : info.relationships) {
    table.AddRow({rel.name, rel.attributes, rel.target, rel.external ? "external" : "foreign key"});
  }
  return table.Render(json);
}

std::string Referencing(const std::string& className, const std::vector<std::string>& only, bool json) {
  SchemaModel model;
  KelEdsMetadataTool& tool = model.Tool();
  // The library looks the referenced class up as the foreign keys name it
  // (Tessel) and filters on neutral names.
  const KelUnicodeString tessel = tool.TranslateClassToTessel(model.Resolve(className));
  std::vector<std::string> filter;
  for (const std::string& name : only) filter.push_back(model.Resolve(name));
  KelListValKelUnicodeString classes, names;
  if (tool.GetReferencingClasses(tessel, ToList(filter), classes, names) < 0) {
    throw Failure("the metadata tool could not list the classes that reference '" + tessel.ToUTF8() + "'");
  }
  Table table({{"CLASS", "class"}, {"RELATIONSHIP", "relationship"}});
  for (int k = 1; k <= classes.Size() && k <= names.Size(); ++k) {
    table.AddRow({classes[k].ToUTF8(), names[k].ToUTF8()});
  }
  return table.Render(json);
}

std::string Missing(const std::string& className, const std::vector<std::string>& supplied, bool json) {
  SchemaModel model;
  const ClassInfo info = model.Describe(className);
  for (const std::string& name : supplied) {
    bool known = false;
    for (const AttributeInfo& attr : info.attributes) known = known || attr.name == name;
    if (!known) {
      std::fprintf(stderr, "edsutil schema missing: warning: %s has no attribute '%s'\n", info.tessel.c_str(),
                   name.c_str());
    }
  }
  KelListValKelUnicodeString missing;
  model.Tool().FindMissingMandateAttr(KelUnicodeString(info.neutral), ToList(supplied), missing);
  return Record().AddList("missing", ToStrings(missing)).Render(json);
}

CLI::App* AddQuery(CLI::App& schema, const char* name, const char* description, SchemaOptions& options) {
  CLI::App* query = schema.add_subcommand(name, description);
  AddJsonFlag(*query, options.json);
  return query;
}

}  // namespace

void AddSchemaCommands(CLI::App& app) {
  auto options = std::make_shared<SchemaOptions>();
  CLI::App* schema = app.add_subcommand("schema", "Query the schema of the cable-routing database");
  schema->require_subcommand(1);

  AddQuery(*schema, "classes", "List the classes of the schema with their primary keys", *options)->callback([options] {
    Emit(Classes(options->json));
  });

  CLI::App* attributes = AddQuery(*schema, "attributes", "List the attributes of a class", *options);
  attributes->footer(
      "Columns: Tessel type, mandatory (NOT NULL), key marks (PK primary key, FK foreign key,\n"
      "REF external reference, U unique), magnitude, and the relationship the attribute stands for.");
  attributes->add_option("CLASS", options->className, kClassHelp)->required();
  attributes->callback([options] { Emit(Attributes(options->className, options->json)); });

  CLI::App* relationships = AddQuery(*schema, "relationships",
                                     "List a class's foreign keys, then its references to outside classes", *options);
  relationships->add_option("CLASS", options->className, kClassHelp)->required();
  relationships->callback([options] { Emit(Relationships(options->className, options->json)); });

  CLI::App* referencing =
      AddQuery(*schema, "referencing", "List the classes whose foreign keys reference a class", *options);
  referencing->add_option("CLASS", options->className, kClassHelp)->required();
  referencing->add_option("--only", options->names, "Keep only these referencing classes (either name form)")
      ->type_name("CLASS");
  referencing->callback([options] { Emit(Referencing(options->className, options->names, options->json)); });

  CLI::App* missing =
      AddQuery(*schema, "missing", "List the mandatory attributes of a class that ATTR... leave out", *options);
  missing->footer("The primary key is never reported missing. An ATTR that the class lacks is warned about.");
  missing->add_option("CLASS", options->className, kClassHelp)->required();
  missing->add_option("ATTR", options->names, "Attributes supplied");
  missing->callback([options] { Emit(Missing(options->className, options->names, options->json)); });

  AddSchemaDiagramCommand(*schema);
}

}  // namespace edsutil
