#include "html/block_render.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "db/connection.h"
#include "db/deadline.h"
#include "db/error_hints.h"
#include "html/chart.h"
#include "html/chart_stream.h"
#include "html/kpi_table.h"
#include "util/text.h"

namespace panorello {

namespace {

std::string ModeOf(const std::string& render_mode) {
  std::string mode = UpperCase(Trim(render_mode));
  if (mode.empty()) mode = "AUTO";
  return mode;
}

void AppendErrorBox(PageOut& out, std::string_view description) {
  out.Append("<div class=\"error\">Errore query: ");
  HtmlEncodeAppend(out.Buffer(), description);
  out.Append("</div>");
}

// The body of a block whose query or rendering failed: the error box, unless the run stopped.
BlockOutcome FailedBody(const BlockQueryEnv& env, const std::exception& e, PageOut& out) {
  BlockOutcome outcome{.failed = true, .error = e.what()};
  outcome.left_behind = dynamic_cast<const AbandonedQueryError*>(&e) != nullptr;
  const auto* error = dynamic_cast<const Error*>(&e);
  outcome.stopped = error != nullptr && error->kind() == ErrorKind::kCancelled;
  if (!outcome.stopped) AppendErrorBox(out, DescribeFailure(e, env.settings));
  return outcome;
}

}  // namespace

bool IsChartData(const ResultGrid& grid, const RegionalSettings& regional) {
  if (grid.Cols() < 2) return false;
  for (size_t c = 1; c < grid.Cols(); ++c) {
    for (size_t r = 0; r < grid.Rows(); ++r) {
      const CellView cell = grid.At(r, c);
      if (cell.type == CellType::Null) continue;
      if (IsNumericCell(cell, regional, nullptr)) continue;
      if (!Trim(CellText(cell, regional)).empty()) return false;
    }
  }
  return true;
}

BodyKind ChooseBody(const ResultGrid& grid, const std::string& mode,
                    const RegionalSettings& regional) {
  if (mode == "TABLE") return BodyKind::Table;
  if (mode == "KPI") return BodyKind::Kpi;
  if (mode == "CHART") return BodyKind::Chart;
  if (mode == "CHARTTABLE") return BodyKind::ChartTable;
  if (grid.Rows() == 1) return BodyKind::Kpi;
  if (grid.Rows() > 1 && grid.Cols() >= 2 && IsChartData(grid, regional)) {
    return BodyKind::ChartTable;
  }
  return BodyKind::Table;
}

namespace {

// Writes a body whose chart (if any) is already drawn.
void WriteBody(const ResultGrid& grid, BodyKind kind, const std::string& chart,
               const RegionalSettings& regional, std::string_view name, PageOut& out) {
  switch (kind) {
    case BodyKind::Kpi:
      RenderKpiCards(grid, regional, out.Buffer());
      break;
    case BodyKind::Chart:
      out.Append(chart);
      break;
    case BodyKind::ChartTable:
      out.Append(chart);
      RenderResultTable(grid, regional, out, name);
      break;
    case BodyKind::Table:
      RenderResultTable(grid, regional, out, name);
      break;
  }
}

bool HasChart(BodyKind kind) { return kind == BodyKind::Chart || kind == BodyKind::ChartTable; }

// A TABLE body needs no whole result: the rows go to the page as the statement gives them. A
// failure after some rows takes back what was written, so the body is the error box alone.
BlockOutcome StreamTableBody(const BlockQueryEnv& env, const std::string& sql,
                             std::string_view name, PageOut& out) {
  const uint64_t mark = out.Size();
  try {
    ResultTableSink table(env.regional, out, name);
    if (!BlockQueryRows(env.connection, env.limits, sql, table, env.stop, env.worker)) {
      out.Append("<div class=\"nodata\">Nessun dato disponibile</div>");
      return {};
    }
    table.Finish();
  } catch (const PageWriteError&) {
    throw;  // the page file itself failed: the run fails
  } catch (const std::exception& e) {
    out.TruncateTo(mark);
    return FailedBody(env, e, out);
  }
  return {};
}

// A CHART body needs no whole result either: the chart is reduced while the rows arrive and
// drawn before anything reaches the page, so that a failure leaves the error box alone.
BlockOutcome StreamChartBody(const BlockQueryEnv& env, const std::string& sql,
                             std::string_view name, PageOut& out) {
  std::string chart;
  bool any = false;
  try {
    ChartSink sink(env.regional);
    any = BlockQueryRows(env.connection, env.limits, sql, sink, env.stop, env.worker);
    // A chart with no table after it carries its data for screen readers.
    if (any) chart = sink.Render(name, true);
  } catch (const std::exception& e) {
    AppendErrorBox(out, DescribeFailure(e, env.settings));
    return {true, e.what()};
  }
  out.Append(any ? chart : "<div class=\"nodata\">Nessun dato disponibile</div>");
  return {};
}

}  // namespace

BlockOutcome RenderBlockQuery(const BlockQueryEnv& env, const std::string& sql,
                              const std::string& mode, PageOut& out, std::string_view name) {
  const std::string body_mode = ModeOf(mode);
  if (body_mode == "TABLE") return StreamTableBody(env, sql, name, out);
  if (body_mode == "CHART") return StreamChartBody(env, sql, name, out);
  std::optional<ResultGrid> grid;
  BodyKind kind = BodyKind::Table;
  std::string chart;  // drawn before anything reaches the page, so that a failure drops it whole
  try {
    grid =
        BlockQuery(env.connection, env.limits, sql, env.stop, env.worker);  // its own time limits
    if (grid) {
      kind = ChooseBody(*grid, body_mode, env.regional);
      // A chart with no table after it carries its data for screen readers.
      if (HasChart(kind)) chart = RenderChart(*grid, env.regional, name, kind == BodyKind::Chart);
    }
  } catch (const std::exception& e) {
    return FailedBody(env, e, out);
  }
  if (!grid) {
    out.Append("<div class=\"nodata\">Nessun dato disponibile</div>");
    return {};
  }
  WriteBody(*grid, kind, chart, env.regional, name, out);
  return {};
}

BlockOutcome RenderBlock(const BlockQueryEnv& env, const Block& block, PageOut& out) {
  out.Append("<div class=\"block\"><div class=\"title\">");
  HtmlEncodeAppend(out.Buffer(), block.Title);
  out.Append("</div><div class=\"subtitle\">");
  HtmlEncodeAppend(out.Buffer(), block.Subtitle);
  out.Append("</div><div class=\"sep\"></div>");
  BlockOutcome outcome =
      RenderBlockQuery(env, block.Sql, ModeOf(block.RenderMode), out, block.Title);
  out.Append("</div>");
  return outcome;
}

}  // namespace panorello
