// edsutil schema diagram: a picture of the cable network schema. One box per
// class with its attributes and key marks, one arrow per foreign key labelled
// with its constraint name, and the classes outside the schema that the
// external references point to as nodes of their own. The tool writes DOT;
// SVG and PNG come from Graphviz's dot.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "EdsutilSystem.h"
#include "SchemaModel.h"

namespace edsutil {
namespace {

struct DiagramOptions {
  std::string format = "dot";
  std::string out;
};

std::string Html(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Quoted(const std::string& id) { return "\"" + id + "\""; }

std::string TailPort(const std::string& attr) { return attr + "_out"; }
std::string HeadPort(const std::string& attr) { return attr + "_in"; }

std::string ClassNode(const ClassInfo& info) {
  std::string label =
      "<TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\" CELLPADDING=\"4\" COLOR=\"#5b7083\">\n"
      "      <TR><TD COLSPAN=\"3\" BGCOLOR=\"#d6e4f0\"><B>" +
      Html(info.tessel) + "</B></TD></TR>\n";
  for (const AttributeInfo& attr : info.attributes) {
    std::string marks;
    if (attr.primaryKey) marks += "PK";
    if (!attr.relationship.empty()) marks += std::string(marks.empty() ? "" : " ") + (attr.external ? "REF" : "FK");
    if (attr.unique) marks += std::string(marks.empty() ? "" : " ") + "U";
    // Optional attributes (NULL allowed) in grey.
    const std::string open = attr.mandatory ? "" : "<FONT COLOR=\"#8a8a8a\">";
    const std::string close = attr.mandatory ? "" : "</FONT>";
    const std::string name = attr.primaryKey ? "<B>" + Html(attr.name) + "</B>" : Html(attr.name);
    // With the graph drawn right to left, a foreign key leaves its row on the
    // left (the marks cell) and enters the referenced key on the right (the
    // type cell), so arrows never run across a box.
    label += "      <TR><TD ALIGN=\"LEFT\" PORT=" + Quoted(TailPort(attr.name)) + ">" + Html(marks) +
             "</TD><TD ALIGN=\"LEFT\">" + open + name + close +
             "</TD><TD ALIGN=\"LEFT\" PORT=" + Quoted(HeadPort(attr.name)) + ">" + open + Html(attr.type) + close +
             "</TD></TR>\n";
  }
  label += "    </TABLE>";
  return "  " + Quoted(info.tessel) + " [label=<\n    " + label + ">];\n";
}

std::string DiagramDot() {
  SchemaModel model;
  std::vector<ClassInfo> classes;
  std::map<std::string, std::string> primaryKeys;  // Tessel name -> primary key attribute
  for (const std::string& name : model.ClassNames()) {
    classes.push_back(model.Describe(name));
    primaryKeys[classes.back().tessel] = classes.back().primaryKey;
  }

  std::string dot =
      "digraph CableNetwork {\n"
      "  graph [rankdir=RL, fontname=\"Helvetica\", fontsize=14, labelloc=t, nodesep=0.35, ranksep=1.1,\n"
      "         label=<<B>Cable network schema (xq40718)</B><BR/><FONT POINT-SIZE=\"10\">PK primary key, FK foreign "
      "key, REF external reference, U unique; grey: may be NULL</FONT>>];\n"
      "  node [shape=plain, fontname=\"Helvetica\", fontsize=10];\n"
      "  edge [fontname=\"Helvetica\", fontsize=9, color=\"#4a6785\", fontcolor=\"#1f3a56\", arrowsize=0.7];\n\n";
  for (const ClassInfo& info : classes) dot += ClassNode(info);

  std::set<std::string> outside;
  std::string edges = "\n";
  for (const ClassInfo& info : classes) {
    for (const RelationshipInfo& rel : info.relationships) {
      const std::string from = Quoted(info.tessel) + ":" + Quoted(TailPort(rel.attributes)) + ":w";
      if (rel.external) {
        outside.insert(rel.target);
        edges += "  " + from + " -> " + Quoted(rel.target) + " [label=" + Quoted(rel.name) +
                 ", style=dashed, color=\"#a05a2c\", fontcolor=\"#a05a2c\"];\n";
        continue;
      }
      const auto key = primaryKeys.find(rel.target);
      const std::string to =
          Quoted(rel.target) +
          (key != primaryKeys.end() && !key->second.empty() ? ":" + Quoted(HeadPort(key->second)) + ":e" : "");
      edges += "  " + from + " -> " + to + " [label=" + Quoted(rel.name) + "];\n";
    }
  }
  if (!outside.empty()) dot += "\n";
  for (const std::string& target : outside) {
    dot += "  " + Quoted(target) +
           " [shape=box, style=\"rounded,dashed\", color=\"#a05a2c\", fontcolor=\"#a05a2c\", label=<" + Html(target) +
           "<BR/><FONT POINT-SIZE=\"8\">outside the schema</FONT>>];\n";
  }
  return dot + edges + "}\n";
}

// The picture rendered by `dot -T<format>` from the DOT text.
std::string RunDot(const std::string& dotText, const std::string& format) {
  std::string rendered;
  const int status = RunFilter("dot", {"-T" + format}, dotText, &rendered);
  if (status == -1) {
    throw Failure("Graphviz 'dot' is not installed (needed for --format " + format +
                  "); install graphviz, or use --format dot");
  }
  if (status == -2) throw Failure("cannot run Graphviz 'dot': " + std::string(std::strerror(errno)));
  if (status != 0) throw Failure("Graphviz 'dot' failed to render the diagram as " + format);
  return rendered;
}

void Diagram(const DiagramOptions& options) {
  const std::string dot = DiagramDot();
  EmitTo(options.out, options.format == "dot" ? dot : RunDot(dot, options.format));
}

}  // namespace

void AddSchemaDiagramCommand(CLI::App& schema) {
  auto options = std::make_shared<DiagramOptions>();
  CLI::App* diagram = schema.add_subcommand("diagram", "Draw the cable network schema (DOT, SVG or PNG)");
  diagram->footer(
      "A box per class with its attributes and key marks, an arrow per foreign key labelled with\n"
      "its constraint name, and the outside classes that external references point to.\n"
      "DOT is written by edsutil; svg and png need Graphviz's dot on the PATH.");
  diagram->add_option("-f,--format", options->format, "Output format (default dot)")
      ->check(CLI::IsMember({"dot", "svg", "png"}));
  diagram->add_option("-o,--out", options->out, "Write to FILE instead of standard output")->type_name("FILE");
  diagram->callback([options] { Diagram(*options); });
}

}  // namespace edsutil
