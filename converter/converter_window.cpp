#include "converter/converter_window.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "converter/converter_dialog_logic.h"
#include "platform/files.h"

namespace sorel {

namespace {

/// The window's widgets and the dialog object they show.
struct Window {
  ConverterDialog dialog;
  std::string screenshot;
  bool autoStart = false;
  int status = 0;
  GtkWidget* window = nullptr;
  GtkWidget* folder = nullptr;    // 1000
  GtkWidget* browse = nullptr;    // 1007
  GtkWidget* output = nullptr;        // the output folder
  GtkWidget* outputBrowse = nullptr;  // its browse button
  GtkWidget* cancel = nullptr;        // 中止 while a job runs
  GtkWidget* finishBox = nullptr;     // the box of the job finished last
  GtkWidget* musicBit = nullptr;  // 1002
  GtkWidget* musicRate = nullptr; // 1003
  GtkWidget* stereo = nullptr;    // 1004
  GtkWidget* voiceBit = nullptr;  // 1008
  GtkWidget* voiceRate = nullptr; // 1009
  GtkWidget* pictures = nullptr;  // 1012
  GtkWidget* music = nullptr;     // 1013
  GtkWidget* voices = nullptr;    // 1014
  GtkWidget* size = nullptr;      // 1018
  GtkWidget* quality = nullptr;   // 1019
  GtkWidget* start = nullptr;     // 1001
  GtkWidget* progress = nullptr;  // 1006
  GtkWidget* encoder = nullptr;   // 1011
  guint timer = 0;
};

/// A dialog label's "&" mnemonic in the toolkit's form.
std::string mnemonic(const char* label) {
  std::string s(label);
  if (auto at = s.find('&'); at != std::string::npos) s[at] = '_';
  return s;
}

template <size_t N>
GtkWidget* comboOf(const std::array<const char*, N>& items, int selected) {
  GtkWidget* combo = gtk_combo_box_text_new();
  for (const char* item : items) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), item);
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), selected);
  return combo;
}

/// A labelled control in a row of a group.
void addLabelled(GtkWidget* grid, int row, const char* label, GtkWidget* control) {
  GtkWidget* l = gtk_label_new(label);
  gtk_widget_set_halign(l, GTK_ALIGN_START);
  gtk_grid_attach(GTK_GRID(grid), l, 0, row, 1, 1);
  gtk_widget_set_hexpand(control, TRUE);
  gtk_grid_attach(GTK_GRID(grid), control, 1, row, 1, 1);
}

GtkWidget* group(const char* title, GtkWidget** grid) {
  GtkWidget* frame = gtk_frame_new(title);
  *grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(*grid), 4);
  gtk_grid_set_column_spacing(GTK_GRID(*grid), 8);
  gtk_container_set_border_width(GTK_CONTAINER(*grid), 6);
  gtk_container_add(GTK_CONTAINER(frame), *grid);
  return frame;
}

void warningBox(GtkWidget* parent, const std::string& text, const char* caption) {
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(parent), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK,
                                          "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

/// A system path as a folder field shows it: host form, no trailing slash.
std::string shownFolder(const std::string& systemPath) {
  std::string shown = platform::hostPath(systemPath);
  while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  return shown;
}

void showFolder(Window& w) { gtk_entry_set_text(GTK_ENTRY(w.folder), shownFolder(w.dialog.gameFolderText()).c_str()); }

int active(GtkWidget* combo) { return gtk_combo_box_get_active(GTK_COMBO_BOX(combo)); }

/// The folder browser, opened at `start` (a host path; its nearest existing parent when it does
/// not exist yet). The folder picked, as a host path; none when cancelled.
std::optional<std::string> browseFolder(Window& w, const char* title, const std::string& start) {
  GtkWidget* chooser = gtk_file_chooser_dialog_new(title, GTK_WINDOW(w.window), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                   "_Cancel", GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
  std::error_code ec;
  std::filesystem::path at = start.empty() ? std::filesystem::current_path(ec) : std::filesystem::absolute(start, ec);
  while (!at.empty() && !std::filesystem::is_directory(at, ec) && at.has_parent_path() && at.parent_path() != at)
    at = at.parent_path();
  if (!at.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), at.c_str());
  std::optional<std::string> result;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* picked = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
      result = picked;
      g_free(picked);
    }
  }
  gtk_widget_destroy(chooser);
  return result;
}

void onBrowse(GtkButton*, gpointer data) {
  Window& w = *static_cast<Window*>(data);
  if (auto picked = browseFolder(w, dialog_text::kBrowseTitle, gtk_entry_get_text(GTK_ENTRY(w.folder))))
    if (auto path = platform::systemPath(*picked)) {
      w.dialog.setGameFolder(*path);
      showFolder(w);
    }
}

void onOutputBrowse(GtkButton*, gpointer data) {
  Window& w = *static_cast<Window*>(data);
  if (auto picked = browseFolder(w, dialog_text::kOutputBrowseTitle, gtk_entry_get_text(GTK_ENTRY(w.output))))
    gtk_entry_set_text(GTK_ENTRY(w.output), picked->c_str());
}

void onCancel(GtkButton*, gpointer data) {
  Window& w = *static_cast<Window*>(data);
  w.dialog.cancel();
  gtk_widget_set_sensitive(w.cancel, FALSE);
}

void onStart(GtkButton*, gpointer data) {
  Window& w = *static_cast<Window*>(data);
  if (w.dialog.running()) return;
  // The settings are read from the controls when Start is pressed.
  w.dialog.musicBitrateIndex = active(w.musicBit);
  w.dialog.musicRateIndex = active(w.musicRate);
  w.dialog.voiceBitrateIndex = active(w.voiceBit);
  w.dialog.voiceRateIndex = active(w.voiceRate);
  w.dialog.screenSizeIndex = active(w.size);
  w.dialog.qualityIndex = active(w.quality);
  // The output field may have been typed into: Start takes what it shows.
  // A relative path is taken from the current folder, so that the box at the end names it whole.
  std::string typed = gtk_entry_get_text(GTK_ENTRY(w.output));
  std::error_code ec;
  if (!typed.empty()) typed = std::filesystem::absolute(typed, ec).lexically_normal().string();
  auto output = platform::systemPath(typed);
  if (!output) {
    StartMessage m = startMessage(StartRefusal::NoOutput);
    warningBox(w.window, std::string(m.text) + "\n" + typed + ": the path has a character that Shift-JIS cannot hold",
               m.caption);
    return;
  }
  w.dialog.setOutputFolder(*output);
  auto checked = [](GtkWidget* b) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(b)) != 0; };
  StartRefusal refusal = w.dialog.start(checked(w.pictures), checked(w.music), checked(w.voices));
  if (StartMessage m = startMessage(refusal); m.text) {
    std::string text = m.text;
    if (refusal == StartRefusal::NoOutput) text += "\n" + w.dialog.outputProblem();
    warningBox(w.window, text, m.caption);
    return;
  }
  if (w.dialog.running()) {
    gtk_widget_set_sensitive(w.start, FALSE);
    gtk_widget_set_sensitive(w.cancel, TRUE);
    if (w.finishBox) gtk_widget_destroy(w.finishBox);
  }
}

void onStereo(GtkToggleButton*, gpointer data) { static_cast<Window*>(data)->dialog.toggleStereo(); }

gboolean onScreenshot(gpointer data);

void onFinishResponse(GtkDialog* box, gint, gpointer) { gtk_widget_destroy(GTK_WIDGET(box)); }

/// The box of a finished job: what it did, where, and which player to start. It does not block
/// the dialog: a new Start replaces it.
void showFinishBox(Window& w, const FinishMessage& m) {
  const GtkMessageType type = m.outcome == JobOutcome::Done ? GTK_MESSAGE_INFO : GTK_MESSAGE_WARNING;
  // The first line is the headline; what follows it is the detail.
  const size_t cut = m.text.find('\n');
  const std::string headline = m.text.substr(0, cut);
  std::string details = cut == std::string::npos ? std::string() : m.text.substr(cut + 1);
  while (!details.empty() && details.front() == '\n') details.erase(0, 1);
  w.finishBox = gtk_message_dialog_new(GTK_WINDOW(w.window), GTK_DIALOG_DESTROY_WITH_PARENT, type, GTK_BUTTONS_OK,
                                       "%s", headline.c_str());
  if (!details.empty()) gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(w.finishBox), "%s", details.c_str());
  gtk_window_set_title(GTK_WINDOW(w.finishBox), m.caption.c_str());
  g_signal_connect(w.finishBox, "response", G_CALLBACK(onFinishResponse), nullptr);
  g_signal_connect(w.finishBox, "destroy", G_CALLBACK(gtk_widget_destroyed), &w.finishBox);
  gtk_widget_show_all(w.finishBox);
  // The folder and the command are there to be copied: the text can be selected (nothing is
  // selected at first).
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(w.finishBox));
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  for (GList* c = children; c; c = c->next)
    if (GTK_IS_LABEL(c->data)) {
      gtk_label_set_selectable(GTK_LABEL(c->data), TRUE);
      gtk_label_select_region(GTK_LABEL(c->data), 0, 0);
    }
  g_list_free(children);
  if (w.autoStart && !w.screenshot.empty()) g_timeout_add(500, onScreenshot, &w);
}

gboolean onTimer(gpointer data) {
  Window& w = *static_cast<Window*>(data);
  ConverterDialog::Tick t = w.dialog.tick();
  if (t.finished) {
    gtk_label_set_text(GTK_LABEL(w.progress), "");
    gtk_widget_set_sensitive(w.start, TRUE);
    gtk_widget_set_sensitive(w.cancel, FALSE);
    if (t.finish) showFinishBox(w, *t.finish);
  } else if (w.dialog.running()) {
    gtk_label_set_text(GTK_LABEL(w.progress), t.progress.c_str());
  }
  return G_SOURCE_CONTINUE;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Window& w = *static_cast<Window*>(data);
  if (w.dialog.running()) {
    gtk_label_set_text(GTK_LABEL(w.progress), "…");
    while (gtk_events_pending()) gtk_main_iteration();
  }
  // A running job stops between members; its worker is waited for before the window goes.
  w.dialog.close();
  if (w.timer) g_source_remove(w.timer);
  w.timer = 0;
  gtk_main_quit();
  return FALSE;
}

gboolean onScreenshot(gpointer data) {
  Window& w = *static_cast<Window*>(data);
  while (gtk_events_pending()) gtk_main_iteration();
  GdkWindow* gdkWindow = gtk_widget_get_window(w.autoStart && w.finishBox ? w.finishBox : w.window);
  GdkPixbuf* shot = gdkWindow ? gdk_pixbuf_get_from_window(gdkWindow, 0, 0, gdk_window_get_width(gdkWindow),
                                                           gdk_window_get_height(gdkWindow))
                              : nullptr;
  GError* error = nullptr;
  // Written beside its name and renamed, like every file the programs write.
  const std::string part = w.screenshot + ".part";
  if (!shot || !gdk_pixbuf_save(shot, part.c_str(), "png", &error, nullptr) ||
      std::rename(part.c_str(), w.screenshot.c_str()) != 0) {
    std::fprintf(stderr, "convSorel: %s: the screenshot cannot be written%s%s\n", w.screenshot.c_str(),
                 error ? ": " : "", error ? error->message : "");
    if (error) g_error_free(error);
    std::remove(part.c_str());
    w.status = 1;
  }
  if (shot) g_object_unref(shot);
  gtk_window_close(GTK_WINDOW(w.window));
  return G_SOURCE_REMOVE;
}

gboolean onAutoStart(gpointer data) {
  Window& w = *static_cast<Window*>(data);
  onStart(nullptr, &w);
  // A refusal has shown its box and nothing will finish: leave with a failure.
  if (!w.dialog.running()) {
    w.status = 1;
    gtk_window_close(GTK_WINDOW(w.window));
  }
  return G_SOURCE_REMOVE;
}

void build(Window& w) {
  namespace t = dialog_text;
  w.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(w.window), t::kCaption);
  gtk_window_set_resizable(GTK_WINDOW(w.window), FALSE);
  gtk_container_set_border_width(GTK_CONTAINER(w.window), 10);
  GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_add(GTK_CONTAINER(w.window), outer);

  // Game folder and output folder, each with its browser.
  GtkWidget* folders = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(folders), 4);
  gtk_grid_set_column_spacing(GTK_GRID(folders), 6);
  auto folderRow = [&](int row, const char* label, GtkWidget*& entry, GtkWidget*& button, const char* buttonLabel) {
    GtkWidget* l = gtk_label_new(label);
    gtk_widget_set_halign(l, GTK_ALIGN_START);
    entry = gtk_entry_new();
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 44);
    gtk_widget_set_hexpand(entry, TRUE);
    button = gtk_button_new_with_mnemonic(mnemonic(buttonLabel).c_str());
    gtk_grid_attach(GTK_GRID(folders), l, 0, row, 1, 1);
    gtk_grid_attach(GTK_GRID(folders), entry, 1, row, 1, 1);
    gtk_grid_attach(GTK_GRID(folders), button, 2, row, 1, 1);
  };
  folderRow(0, t::kGameFolderLabel, w.folder, w.browse, t::kBrowseButton);
  folderRow(1, t::kOutputFolderLabel, w.output, w.outputBrowse, t::kOutputBrowseButton);
  // The game folder comes from the registry or the browser; the output folder may be typed.
  gtk_editable_set_editable(GTK_EDITABLE(w.folder), FALSE);
  gtk_entry_set_text(GTK_ENTRY(w.output), shownFolder(w.dialog.outputFolder()).c_str());
  gtk_box_pack_start(GTK_BOX(outer), folders, FALSE, FALSE, 0);

  GtkWidget* groups = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_box_set_homogeneous(GTK_BOX(groups), TRUE);
  gtk_box_pack_start(GTK_BOX(outer), groups, FALSE, FALSE, 0);

  const ConverterDialog& d = w.dialog;
  GtkWidget* grid = nullptr;
  GtkWidget* musicGroup = group(t::kMusicGroup, &grid);
  w.musicBit = comboOf(kMusicBitrateList, d.musicBitrateIndex);
  w.musicRate = comboOf(kRateList, d.musicRateIndex);
  w.stereo = gtk_check_button_new_with_label(t::kStereoLabel);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w.stereo), d.musicStereo != 0);
  addLabelled(grid, 0, t::kBitLabel, w.musicBit);
  addLabelled(grid, 1, t::kRateLabel, w.musicRate);
  gtk_grid_attach(GTK_GRID(grid), w.stereo, 1, 2, 1, 1);
  gtk_box_pack_start(GTK_BOX(groups), musicGroup, TRUE, TRUE, 0);

  GtkWidget* voiceGroup = group(t::kVoiceGroup, &grid);
  w.voiceBit = comboOf(kVoiceBitrateList, d.voiceBitrateIndex);
  w.voiceRate = comboOf(kRateList, d.voiceRateIndex);
  addLabelled(grid, 0, t::kBitLabel, w.voiceBit);
  addLabelled(grid, 1, t::kRateLabel, w.voiceRate);
  gtk_box_pack_start(GTK_BOX(groups), voiceGroup, TRUE, TRUE, 0);

  GtkWidget* lower = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_box_set_homogeneous(GTK_BOX(lower), TRUE);
  gtk_box_pack_start(GTK_BOX(outer), lower, FALSE, FALSE, 0);

  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  w.pictures = gtk_check_button_new_with_label(t::kPicturesCheck);
  w.music = gtk_check_button_new_with_label(t::kMusicCheck);
  w.voices = gtk_check_button_new_with_label(t::kVoicesCheck);
  for (GtkWidget* b : {w.pictures, w.music, w.voices}) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b), TRUE);
    gtk_box_pack_start(GTK_BOX(content), b, FALSE, FALSE, 0);
  }
  gtk_box_pack_start(GTK_BOX(lower), content, TRUE, TRUE, 0);

  GtkWidget* screenGroup = group(t::kScreenGroup, &grid);
  w.size = comboOf(kScreenSizeList, d.screenSizeIndex);
  w.quality = comboOf(kQualityList, d.qualityIndex);
  gtk_widget_set_hexpand(w.size, TRUE);
  gtk_grid_attach(GTK_GRID(grid), w.size, 0, 0, 2, 1);
  addLabelled(grid, 1, t::kQualityLabel, w.quality);
  gtk_box_pack_start(GTK_BOX(lower), screenGroup, TRUE, TRUE, 0);

  GtkWidget* bottom = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  GtkWidget* lines = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  w.progress = gtk_label_new("");
  w.encoder = gtk_label_new(d.encoderText().c_str());
  for (GtkWidget* l : {w.progress, w.encoder}) {
    gtk_widget_set_halign(l, GTK_ALIGN_START);
    gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);
    gtk_box_pack_start(GTK_BOX(lines), l, FALSE, FALSE, 0);
  }
  w.start = gtk_button_new_with_mnemonic(mnemonic(t::kStartButton).c_str());
  gtk_widget_set_size_request(w.start, 110, -1);
  w.cancel = gtk_button_new_with_mnemonic(mnemonic(t::kCancelButton).c_str());
  gtk_widget_set_sensitive(w.cancel, FALSE);
  gtk_box_pack_start(GTK_BOX(bottom), lines, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(bottom), w.start, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(bottom), w.cancel, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(outer), bottom, FALSE, FALSE, 0);

  g_signal_connect(w.browse, "clicked", G_CALLBACK(onBrowse), &w);
  g_signal_connect(w.start, "clicked", G_CALLBACK(onStart), &w);
  g_signal_connect(w.outputBrowse, "clicked", G_CALLBACK(onOutputBrowse), &w);
  g_signal_connect(w.cancel, "clicked", G_CALLBACK(onCancel), &w);
  g_signal_connect(w.stereo, "toggled", G_CALLBACK(onStereo), &w);
  g_signal_connect(w.window, "delete-event", G_CALLBACK(onDelete), &w);
  showFolder(w);
}

}  // namespace

int runConverterWindow(int argc, char** argv, const WindowOptions& options) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "convSorel: no display for the dialog (DISPLAY is not usable); use --batch\n");
    return 2;
  }
  Window w;
  w.screenshot = options.screenshot;
  w.autoStart = options.start;
  std::error_code ec;
  auto cwd = platform::systemPath(std::filesystem::current_path(ec).string());
  const std::string game = options.gameFolder.empty() ? registryGameFolder() : options.gameFolder;
  const std::string output = !options.outputFolder.empty() ? options.outputFolder : cwd && !ec ? *cwd : std::string();
  w.dialog.initialise(output, game, probeEncoder());
  w.dialog.jobs = options.jobs;
  build(w);
  gtk_widget_show_all(w.window);
  w.timer = g_timeout_add(100, onTimer, &w);
  if (w.autoStart) g_timeout_add(300, onAutoStart, &w);
  else if (!w.screenshot.empty()) g_timeout_add(500, onScreenshot, &w);
  gtk_main();
  return w.status;
}

}  // namespace sorel
