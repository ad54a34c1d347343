#pragma once
#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/Canvas.h"
#include "app/Prompts.h"
#include "base/Lcg32.h"
#include "metrics/EnergyMetrics.h"
#include "metrics/ImpulseCriteria.h"
#include "metrics/Leq300Spectrum.h"
#include "model/HazardAnalysis.h"
#include "model/ModelParameters.h"
#include "model/MovieFrameStore.h"
#include "model/MovieHazard.h"
#include "model/MoviePlayback.h"
#include "model/THRTimer.h"
#include "plot/PlotFrame.h"
#include "plot/SpectrumPlot.h"
#include "protection/ProtectorCatalogue.h"
#include "waveform/CurrentRecord.h"
#include "waveform/HeaderEdit.h"
#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"
#include "waveform/WaveformEdit.h"

namespace orvek {

// The two-cursor tool: two vertical lines drawn in XOR mode over the pressure-time plot.
struct CursorToolState {
  int X1 = 0, X2 = 0;  // pixel x of the lines
  QColor Colour1 = Qt::red, Colour2 = Qt::red;
  bool Active = false;    // mouse events on the window move the lines
  bool Dragging = false;  // a mouse button is held down in the tool
  int Mode = 1;           // live display while a line moves: 1 segment length, 4 start level,
                          // 6 statistics
};

// The main window. The current record (samples, header grid, file) lives in a CurrentRecord that
// every command reads and changes; the window holds what it shows and the state of its modes.
// Handlers are grouped one source file per menu or subsystem; each group below names its file.
class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  struct Options {
    std::filesystem::path StartupFolder;         // holds "Man.Fig", the pictures and the catalogue
    std::optional<std::int32_t> SampleCapacity;  // samples per buffer; default from free memory
  };

  TForm1(Prompts& prompts, Options options, QWidget* parent = nullptr);  // TForm1.cpp
  ~TForm1() override;

  // Start-up sequence; call once, after the window has been shown (Startup.cpp).
  void FormCreate();
  // The open command without its dialog; the dialog of "Open ORV waveform" ends here too
  // (FileMenu.cpp).
  void OpenWaveform(const QString& chosenFile);

  // --- read-only interface for tests and tools (TForm1.cpp) ---
  const CurrentRecord& Record() const { return *record_; }
  // The menu-bar, menu or pop-up item with this caption (depth first: the menu bar, then the
  // pop-up menu); nullptr when there is none. Triggering it is a click.
  QAction* Command(const QString& caption) const;
  QMenu* PopupMenu() const { return PopupMenu1; }
  // The button of the open cursor tool or Statistics ("&Done", "&Expand Selection", ...).
  QPushButton* ToolButton() const;
  const CursorToolState& Cursors() const { return cursor_; }
  // Plot area of the pressure-time plot the lines move over.
  CursorArea PlotArea() const;
  bool PopupOpens() const { return PopupOpensAutomatically; }
  const std::optional<HazardResult>& Hazard() const { return LastHazard; }
  const std::optional<Leq300Spectrum>& Spectrum() const { return LastSpectrum; }
  const TModelParameters& Parameters() const { return ModelParameters; }
  std::filesystem::path ParameterFile() const { return StartupFolder / ParameterFileName; }
  std::filesystem::path OpenFolder() const { return LastOpenFolder; }
  const QImage& Snapshot() const { return ScreenSnapshot; }
  bool HelpPictureUp() const { return HelpPictureShown; }
  bool MovieIsRunning() const { return MovieRunning; }
  const MoviePlayback& MovieState() const { return Movie; }
  int ChosenProtector() const { return SelectedProtector; }
  Canvas* canvas() const { return canvas_; }
  QTableWidget* gridView() const { return gridView_; }
  QProgressBar* progressBar() const { return progress_; }
  QLineEdit* statusBox() const { return statusBox_; }
  QPushButton* cancelButton() const { return cancelButton_; }
  bool HazardIsComputed() const { return HazardComputed; }
  QSize ClientSize() const { return canvas_->size(); }

  // Called after each movie frame is drawn (tools grab frames, tests end the movie).
  std::function<void(std::int32_t frame)> OnMovieFrame;
  // Called at each progress step of an analysis, after the window's messages ran (tests press Esc
  // or the Cancel button there).
  std::function<void(std::int32_t sample)> OnAnalysisProgress;

 protected:
  // MovieMenu.cpp
  void keyPressEvent(QKeyEvent* event) override;  // the movie keys
  void closeEvent(QCloseEvent* event) override;   // a running movie ends with the window

 private:
  enum class Screen { Start, Plot, Blank };

  // --- menus (TForm1.cpp) ---
  QMenu* FileMenu = nullptr;
  QAction *OpenORVwaveform1, *OverlayORVwaveform1, *Importwaveform1, *SaveORVwaveform1,
      *SaveORVwaveformas1, *SaveWAVwaveform1, *Copyscreentoclipboard1, *Copywaveformtoclipboard1,
      *Copyospectrumtoclipboard1, *Exportplot1, *Savereport1, *Exit1;
  QMenu* AnalyzeMenu = nullptr;
  QAction *NoProtectorWarned1, *NoProtectorUnWarned1, *Help1;
  QMenu* PopupMenu1 = nullptr;
  std::array<QAction*, 9> PopupTopItems{};  // the nine top items of the pop-up menu
  bool PopupOpensAutomatically = false;
  void BuildMenus();
  void BuildPopupMenu();
  QAction* AddCommand(QMenu* menu, const QString& caption, void (TForm1::*handler)());
  QAction* AddCommand(QMenu* menu, const QString& caption, std::function<void()> handler);
  // Runs a handler as one command: a failure ends it with an error message naming its cause.
  void RunCommand(const std::function<void()>& command);
  // Runs a command of a menu, pop-up item or button: header edits still pending take effect
  // first, so that the command works on the record the grid shows.
  void RunUserCommand(const std::function<void()>& command);

  // --- the current record and where files are chosen ---
  std::filesystem::path StartupFolder, LastOpenFolder;
  std::int32_t SampleCapacity = 0;
  std::unique_ptr<CurrentRecord> record_;
  Lcg32 DitherRandom;

  // --- the screen: plot state, snapshot, pictures (TForm1.cpp, PlotCommands.cpp) ---
  PlotState Plot;
  QImage EarModelPicture, SecondPicture, ScreenSnapshot;
  Screen screen_ = Screen::Start;
  // Screen snapshot: keep and restore a copy of the whole client area.
  void SaveForm();
  void RestoreForm();
  void ClientResized();
  // The pressure-time plot of what the record shows (a view or the record), and the cursor lines
  // of an open tool over it; the snapshot keeps the plot without the lines.
  void DrawPressureTimePlot();
  void DrawPressureTimePlot(const TWaveform& waveform);
  void RedrawPlot();
  // Double-click on the window: pressure-axis limits of the pressure-time plot.
  void FormDblClick();
  void Copyscreentoclipboard1Click();
  void Copywaveformtoclipboard1Click();
  void Copyospectrumtoclipboard1Click();
  void CopyClientRect(const QRect& rect);
  // The pressure-time plot, with the spectrum or criteria table above it while one shows, as a
  // PNG, SVG or PDF file of the size the user gives, drawn again by the renderers.
  void Exportplot1Click();
  // The analysis report of the current file, with the protector last chosen (ReportCommands.cpp).
  void Savereport1Click();

  // --- start-up, help and exit (Startup.cpp) ---
  void DrawStartScreen();
  void LoadModelFiles();
  void LoadPictures();
  void Help1Click();
  void Exit1Click();

  // --- header grid view (HeaderGridView.cpp) ---
  std::array<bool, 4> EditPending{};  // title, rate, location, count
  int SelectedColumn = 0, SelectedRow = 0;
  void SetUpGridView();
  void RefreshGridView();
  void LayOutGrid(double name, double value, double comment);
  // The user selected a cell / pressed Enter in it.
  void GridCellSelected(int column, int row);
  void GridEnterPressed();
  void ApplyPendingEdits();
  // A result cell in the record's grid and its view at once.
  void SetResultCell(int column, int row, const QString& text);

  // --- File menu: open, save, the paired comparison (FileMenu.cpp) ---
  std::optional<SpectrumAxes> OverlayAxes;  // kept across overlays until a waveform is opened
  bool OverlayFormPending = false;          // the next overlay first keeps the window's image
  std::unique_ptr<TWaveform> EarRecord;     // the recording at the ear of the last overlay
  void OpenORVwaveform1Click();
  void SaveORVwaveform1Click();
  void SaveORVwaveformas1Click();
  void OverlayORVwaveform1Click();
  void ClearAfterSave();
  void LayOutForWaveform();

  // --- File menu: import and the WAV copy (ImportMenu.cpp) ---
  void Importwaveform1Click();
  void SaveWAVwaveform1Click();

  // --- the two-cursor tool (CursorTool.cpp) ---
  CursorToolState cursor_;
  QPushButton *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr,
              *Button6 = nullptr, *Button12 = nullptr;
  QPushButton* AddToolButton(const QString& caption, void (TForm1::*handler)());
  void OpenCursorTool(int x1, int x2, QPushButton* done);
  void ShowToolButton(QPushButton* button);
  void CloseCursorTool();
  // A command that changes the screen leaves an open tool first: its unfinished edit is dropped
  // (a view is closed; the record was never changed by it) and the record is drawn again.
  void LeaveCursorTool();
  void DrawCursorLine(int x, const QColor& colour);
  void MoveNearerLine(int x);
  void ShowLiveCursorValue();
  void FormMouseDown(QPoint at, Qt::MouseButton button);
  void FormMouseMove(QPoint at);
  void FormMouseUp(QPoint at);

  // --- pop-up menu: editing and calibration (EditMenu.cpp) ---
  CalibrationUnit LastCalibrationUnit = CalibrationUnit::Factor;
  float CalibrationValue = 0.0f;  // the value last entered
  bool RequireSamples();
  void RedrawAfterEdit();
  void SelectSegment1Click();
  void Button2Click();
  void SetBaselineClick();
  void Button3Click();
  void Button4Click();
  void EstablishStartClick();
  void Button5Click();
  void ApplyTaper1Click();
  void Button6Click();
  void Calibrate(CalibrationUnit unit);
  void Resample1Click();

  // --- pop-up menu: Statistics and the Leq300ms spectrum mode (MetricsMenu.cpp) ---
  TEnergyMetrics EnergyMetrics;                // of the last Statistics computation
  std::optional<Leq300Spectrum> LastSpectrum;  // of the last "Leq300ms spectrum"
  std::vector<QAction*> Leq300ExitItems;       // "[Exit Leq300 Spectrum]", one per entry
  bool TobFileWritten = false;                 // the last spectrum wrote its ".TOB" file
  void Stats1Click();
  void Button12Click();
  SampleSpan StatisticsInterval() const;  // between the Statistics lines, within 0..N
  void ShowIntervalPeak();
  void ShowEnergyMetrics();
  void Leq300msspectrum1Click();
  void CancelLeq300Click();

  // --- pop-up menu "Impulse Criteria" (CriteriaMenu.cpp) ---
  // The table of every criterion of the whole record, or of the Statistics interval last chosen
  // on the same record, in the upper half until "[Exit Impulse Criteria]"; "[Copy Impulse
  // Criteria]" puts it on the clipboard as tab-separated text. Ta and Tb go to header rows 14 and
  // 15 with every Statistics computation and after an analysis.
  QAction* ImpulseCriteria1 = nullptr;
  std::vector<QAction*> CriteriaModeItems;       // the two run-time items while the table shows
  std::optional<ImpulseCriteria> ShownCriteria;  // of the table on show
  struct RememberedInterval {
    SampleSpan Span;
    std::uint64_t Record = 0;  // fingerprint of the record it was chosen on
  };
  std::optional<RememberedInterval> StatisticsCriteriaInterval;
  QString CriteriaTitle;
  bool GridShownBeforeCriteria = false;
  void ImpulseCriteria1Click();
  void CopyImpulseCriteriaClick();
  void ExitImpulseCriteriaClick();
  void NoteStatisticsInterval(SampleSpan span);  // remembers it and shows its Ta and Tb
  void ShowImpulseDurations(SampleSpan span);    // Ta and Tb in header rows 14 and 15
  std::optional<SampleSpan> CriteriaIntervalOfRecord() const;  // none once the record changed
  void DrawImpulseCriteriaTable();
  void LeaveImpulseCriteria();  // a new record replaces the table: its items go, nothing redraws

  // --- pop-up menu "APPLY HEARING PROTECTION" (ProtectionMenu.cpp) ---
  ProtectorCatalogue Catalogue;
  int SelectedProtector = -1;     // catalogue index of the protector last chosen
  bool HelpPictureShown = false;  // the protector help picture is up until the next mouse press
  QMenu* DefaultModeMenu = nullptr;
  std::array<QMenu*, 9> PowerUserMenus{};     // by PowerUserPlace (None has no menu)
  std::unique_ptr<TWaveform> ProtectorInput;  // the record's copy the prediction pads
  void LoadCatalogue();
  void ApplyEarProtector1Click();
  void Help2Click();
  void PopupItemClick(int catalogueIndex);
  void GetHPDData();

  // --- model and analysis (AnalyzeMenu.cpp) ---
  TModelParameters ModelParameters;
  std::string ParameterFileName;
  float CurrentMuscleDelay = 0.0f;      // s; set by the analysis commands, used by every plot
  MuscleTiming Timing;                  // of the last pressure-time plot; the ear models use it
  std::unique_ptr<TWaveform> Analysed;  // the record as the last analysis ran it
  std::unique_ptr<TWaveform> SpareAnalysed;  // Analysed of the run before, until this one ends
  std::optional<HazardResult> LastHazard;
  bool HazardComputed = false;
  // What an analysis changes before its result stands; a cancelled run puts it all back. The
  // movie items it takes off the menu bar are deleted with it unless they were put back.
  struct AnalysisStart {
    QImage Image, Snapshot;
    Screen Shown = Screen::Start;
    PlotState Plot;
    MuscleTiming Timing;
    float MuscleDelay = 0.0f;
    TModelParameters Parameters;
    std::optional<HazardResult> Hazard;
    bool HazardComputed = false, MovieAvailable = false, PopupOpens = false, AnalyzeOn = false;
    std::array<bool, 9> PopupEnabled{};
    std::vector<QAction*> MenuItems;
    QAction* FollowingItem = nullptr;  // the menu-bar item after them, if any
    QString Status, StatusTip;
    bool StatusShown = false, ProgressShown = false;
    int ProgressValue = 0;
    CursorToolState Tool;
    QPushButton* ToolButton = nullptr;  // of the open tool
    AnalysisStart() = default;
    AnalysisStart(const AnalysisStart&) = delete;
    AnalysisStart& operator=(const AnalysisStart&) = delete;
    ~AnalysisStart() {
      for (QAction* item : MenuItems) item->deleteLater();
    }
  };
  void KeepAnalysisStart(AnalysisStart& start);
  void PutBack(AnalysisStart& start);
  // Reads the parameter file again, so that edits take effect without a restart and no earlier
  // protector choice (angle, circuit) carries over.
  void ReloadModelParameters();
  void NoProtectorWarned1Click();
  void NoProtectorUnWarned1Click();
  void RunAnalysis(Listener listener);
  void Analyse(Listener listener, AnalysisStart& start);
  void CalculateHazard2();
  void WriteHazardRows(int micLocation, Listener listener);
  void AddMovieItems();

  // --- result displays and the hazard movie (MovieMenu.cpp) ---
  std::unique_ptr<orvek::MovieFrameStore> MovieFrames;
  bool MovieAvailable = false;
  bool MovieRunning = false;
  std::vector<QAction*> AddedMenuItems;  // "Movie[Cancel ," and its neighbour
  THRTimer HazardTimer;
  MoviePlayback Movie;           // frame, pause, restart and the frame delay kept across movies
  MovieExtremes UnwrapExtremes;  // display ranges found by "Unwrap Cochlea]"
  void CancelMovieClick();
  void AnimateClick();
  void UnwrapCochleaClick();
  void MovieStartClick();
  QAction* AddMenuBarItem(const QString& caption, void (TForm1::*handler)());
  void ReplaceLastMenuItem(const QString& caption, void (TForm1::*handler)());
  bool PlayMovie();

  Prompts& prompts_;
  Canvas* canvas_ = nullptr;
  QTableWidget* gridView_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLineEdit* statusBox_ = nullptr;
  QPushButton* cancelButton_ = nullptr;  // beside the progress bar while an analysis runs
};

}  // namespace orvek
