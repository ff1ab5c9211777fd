// The block editor of the main window: the list of saved blocks, loading a block into the
// fields, "Nuovo blocco", "Salva blocco" and "Elimina blocco".
#include "storage/blocks_file.h"
#include "ui/logic/main_form.h"
#include "util/text.h"

namespace panorello {

std::string BlockEntryText(const Block& b) {
  std::string order = FormatInt(b.SortOrder);
  // At least three digits, zeros filled in on the left (after the sign of a negative value).
  const bool negative = !order.empty() && order[0] == '-';
  const size_t digits = order.size() - (negative ? 1 : 0);
  if (digits < 3) order.insert(negative ? 1 : 0, 3 - digits, '0');
  std::string text = order + " - " + b.Title;
  if (!Trim(b.Dashboard).empty()) text += " [" + b.Dashboard + "]";
  if (!Trim(b.RenderMode).empty()) text += " {" + b.RenderMode + "}";
  if (!b.Active) text += " [OFF]";
  return text;
}

bool SqlHasEndMarkerLine(std::string_view sql) {
  size_t start = 0;
  while (start <= sql.size()) {
    size_t end = sql.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = sql.size();
    if (Trim(sql.substr(start, end - start)) == "SQLEND") return true;
    if (end == sql.size()) break;
    // CR LF is one line end; a lone CR or LF is one as well.
    start = end + ((sql[end] == '\r' && end + 1 < sql.size() && sql[end + 1] == '\n') ? 2 : 1);
  }
  return false;
}

bool MainForm::WriteBlocks() {
  return TryToWrite([&] { SaveBlocks(ctx_.blocks, ctx_.app_folder); }, kBlocksNotSavedText,
                    kBlocksKeptText);
}

void MainForm::RefreshBlockList() {
  s_.lstBlocks.entries.clear();
  s_.lstBlocks.selected = -1;
  for (const Block& b : ctx_.blocks.Blocks()) s_.lstBlocks.entries.push_back(BlockEntryText(b));
}

void MainForm::ClearBlockFields() {
  s_.txtTitle.clear();
  s_.txtSubtitle.clear();
  s_.txtSql.clear();
  s_.txtOrder = FormatInt(static_cast<int64_t>(ctx_.blocks.BlockCount()) + 1);
  s_.chkActive = true;
  s_.cboRenderMode.Show("AUTO", kRenderModeEntryCount);
  s_.txtDashboard.clear();
}

void MainForm::lstBlocks_Click() {
  const int32_t pos = s_.lstBlocks.selected;
  if (pos < 0 || pos >= ctx_.blocks.BlockCount()) return;
  s_.CurrentBlockIndex = pos;
  const Block& b = ctx_.blocks.At(pos);
  s_.txtTitle = b.Title;
  s_.txtSubtitle = b.Subtitle;
  s_.txtSql = b.Sql;
  s_.txtOrder = FormatInt(b.SortOrder);
  s_.chkActive = b.Active;
  s_.cboRenderMode.Show(b.RenderMode, kRenderModeEntryCount, "AUTO");
  s_.txtDashboard = b.Dashboard;
  s_.lblStatus = "Blocco caricato";
}

void MainForm::cmdNew_Click() {
  s_.lstBlocks.selected = -1;
  lstBlocks_Click();
  ClearBlockFields();
  s_.CurrentBlockIndex = -1;
  s_.lblStatus = "Nuovo blocco";
}

void MainForm::cmdSaveBlock_Click() {
  Block b;
  b.Id = 0;
  b.Title = Trim(s_.txtTitle);
  b.Subtitle = Trim(s_.txtSubtitle);
  b.Sql = s_.txtSql;
  bool order_fits = true;
  b.SortOrder = ParseWholeNumber(s_.txtOrder, &order_fits);
  b.Active = s_.chkActive;
  b.RenderMode = UpperCase(Trim(s_.cboRenderMode.Text()));
  if (b.RenderMode.empty()) b.RenderMode = "AUTO";
  b.Dashboard = Trim(s_.txtDashboard);

  if (b.Title.empty()) {
    Warn(kEnterTitleText);
    return;
  }
  if (Trim(b.Sql).empty()) {
    Warn(kEnterSqlText);
    return;
  }
  if (!order_fits) {
    Warn(OrderOutOfRangeMessage(s_.txtOrder));
    return;
  }
  if (SqlHasEndMarkerLine(b.Sql)) {
    Warn(kSqlEndMarkerMessage);
    return;
  }

  int32_t position = -1;
  if (s_.CurrentBlockIndex >= 0 && s_.CurrentBlockIndex < ctx_.blocks.BlockCount()) {
    position = s_.CurrentBlockIndex;
    b.Id = ctx_.blocks.At(position).Id;
  }
  ctx_.blocks.SaveBlock(position, b);
  const bool written = WriteBlocks();
  RefreshBlockList();
  s_.lblStatus = written ? "Blocco salvato" : "Errore salvataggio blocchi";
}

void MainForm::cmdDeleteBlock_Click() {
  const int32_t pos = s_.lstBlocks.selected;
  if (pos < 0) {
    Warn(kSelectBlockToDeleteText);
    return;
  }
  ctx_.blocks.DeleteBlock(pos);
  const bool written = WriteBlocks();
  RefreshBlockList();
  ClearBlockFields();
  s_.CurrentBlockIndex = -1;
  s_.lblStatus = written ? "Blocco eliminato" : "Errore salvataggio blocchi";
}

}  // namespace panorello
