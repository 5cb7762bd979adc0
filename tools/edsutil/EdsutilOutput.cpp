#include "EdsutilOutput.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>

#include "KelFileWriter.h"

namespace edsutil {
namespace {

std::string JsonValue(const std::string& value, JsonKind kind) {
  switch (kind) {
    case JsonKind::Number:
      return value.empty() ? "null" : value;
    case JsonKind::Flag:
      return value == "yes" ? "true" : "false";
    case JsonKind::Text:
      break;
  }
  return JsonString(value);
}

// Display width of UTF-8 text: one column per code point, which holds for
// the names and numbers that the tables show.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string SystemError() { return std::strerror(errno); }

}  // namespace

void Table::AddRow(std::vector<std::string> cells) {
  cells.resize(columns_.size());
  rows_.push_back(std::move(cells));
}

std::string Table::Render(bool json) const {
  std::string out;
  if (json) {
    out += "[";
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      out += r == 0 ? "\n  {" : ",\n  {";
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (c > 0) out += ", ";
        out += JsonString(columns_[c].key) + ": " + JsonValue(rows_[r][c], columns_[c].kind);
      }
      out += "}";
    }
    out += rows_.empty() ? "]\n" : "\n]\n";
    return out;
  }
  std::vector<std::size_t> widths;
  for (const Column& column : columns_) widths.push_back(Width(column.title));
  for (const auto& row : rows_) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      text += cells[c];
      if (c + 1 < cells.size()) text.append(widths[c] - Width(cells[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text + "\n";
  };
  std::vector<std::string> titles;
  for (const Column& column : columns_) titles.push_back(column.title);
  out += line(titles);
  for (const auto& row : rows_) out += line(row);
  return out;
}

Record& Record::Add(std::string key, std::string value, JsonKind kind) {
  fields_.push_back({std::move(key), std::move(value), kind, false, {}});
  return *this;
}

Record& Record::AddList(std::string key, std::vector<std::string> values) {
  fields_.push_back({std::move(key), {}, JsonKind::Text, true, std::move(values)});
  return *this;
}

std::string Record::Render(bool json) const {
  std::string out;
  if (json) {
    out += "{";
    for (std::size_t f = 0; f < fields_.size(); ++f) {
      const Field& field = fields_[f];
      out += (f == 0 ? "" : ", ") + JsonString(field.key) + ": ";
      if (!field.isList) {
        out += JsonValue(field.value, field.kind);
        continue;
      }
      out += "[";
      for (std::size_t i = 0; i < field.list.size(); ++i) out += (i == 0 ? "" : ", ") + JsonString(field.list[i]);
      out += "]";
    }
    return out + "}\n";
  }
  if (fields_.size() == 1) {
    const Field& field = fields_.front();
    if (!field.isList) return field.value + "\n";
    for (const std::string& entry : field.list) out += entry + "\n";
    return out;
  }
  for (const Field& field : fields_) {
    out += field.key + ": ";
    if (!field.isList) {
      out += field.value;
    } else {
      for (std::size_t i = 0; i < field.list.size(); ++i) out += (i == 0 ? "" : ", ") + field.list[i];
    }
    out += "\n";
  }
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void Emit(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
    throw Failure("cannot write to standard output: " + SystemError());
  }
}

void EmitTo(const std::string& path, const std::string& content) {
  if (path.empty()) {
    Emit(content);
    return;
  }
  const int error = KelWriteWholeFile(path.c_str(), content.data(), content.size());
  if (error != 0) throw Failure("cannot write '" + path + "': " + std::strerror(error));
}

std::string TextArgument(const std::string& argument) {
  if (argument != "-") return argument;
  std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  if (std::cin.bad()) throw Failure("cannot read standard input");
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

void AddJsonFlag(CLI::App& command, bool& json) {
  command.add_flag("--json", json, "Write the result as JSON instead of text");
}

std::string FormatNumber(double value, bool json) {
  char text[40];
  std::snprintf(text, sizeof text, json ? "%.17g" : "%.10g", value);
  return text;
}

}  // namespace edsutil
