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
#include "waveform/HeaderEdit.h"
#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"
#include "waveform/WaveformEdit.h"

namespace orvek {

// The main window. It owns the application-wide state (the waveform record and its header grid,
// the model parameters, the plot frames, the screen snapshot) and its handlers call the core.
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

  // --- menu items (captions are the program's own) ---
  QMenu* FileMenu = nullptr;
  QAction *OpenORVwaveform1, *OverlayORVwaveform1, *Importwaveform1, *SaveORVwaveform1,
      *SaveORVwaveformas1, *SaveWAVwaveform1, *Copyscreentoclipboard1, *Copywaveformtoclipboard1,
      *Copyospectrumtoclipboard1, *Exportplot1, *Savereport1, *Exit1;
  QMenu* AnalyzeMenu = nullptr;
  QAction *NoProtectorWarned1, *NoProtectorUnWarned1, *Help1;
  QMenu* PopupMenu1 = nullptr;
  std::array<QAction*, 9> PopupTopItems{};  // the nine top items of the pop-up menu

  // --- application-wide state ---
  std::filesystem::path StartupFolder, LastOpenFolder;
  std::int32_t SampleCapacity = 0;
  std::unique_ptr<TWaveform> Waveform;
  HeaderGrid Grid;
  TModelParameters ModelParameters;
  std::string ParameterFileName;
  std::unique_ptr<orvek::MovieFrameStore> MovieFrames;
  float CurrentMuscleDelay = 0.0f;  // s; set by the analysis commands, used by every plot
  MuscleTiming Timing;              // of the last pressure-time plot; the ear models use it
  std::optional<HazardResult> LastHazard;
  bool HazardComputed = false;
  bool MovieAvailable = false;
  std::vector<QAction*> AddedMenuItems;  // "Movie[Cancel ," and its neighbour
  PlotState Plot;
  Lcg32 DitherRandom;
  QString CurrentFileName, CurrentBaseName, ExtensionTag, ChosenFileName;
  bool WritableMedia = true;
  bool PopupOpensAutomatically = false;
  bool MovieRunning = false;
  std::array<bool, 4> EditPending{};  // title, rate, location, count
  int SelectedColumn = 0, SelectedRow = 0;
  QImage EarModelPicture, SecondPicture, ScreenSnapshot;

  // --- widgets ---
  Canvas* canvas() const { return canvas_; }
  QTableWidget* gridView() const { return gridView_; }
  QProgressBar* progressBar() const { return progress_; }
  QLineEdit* statusBox() const { return statusBox_; }
  QSize ClientSize() const { return canvas_->size(); }

  // Screen snapshot: keep and restore a copy of the whole client area (TForm1.cpp).
  void SaveForm();
  void RestoreForm();

  // Header grid: the user selected a cell / pressed Enter in it (HeaderGridView.cpp).
  void GridCellSelected(int column, int row);
  void GridEnterPressed();

  // Double-click on the window: pressure-axis limits of the pressure-time plot (PlotCommands.cpp).
  void FormDblClick();

  // File menu: import from any common source, and the WAV copy of the current samples
  // (ImportMenu.cpp).
  void Importwaveform1Click();
  void SaveWAVwaveform1Click();

  // File menu: the paired free-field / at-ear comparison (FileMenu.cpp).
  void OverlayORVwaveform1Click();

  // --- two-cursor tool (CursorTool.cpp): two vertical XOR lines over the pressure-time plot ---
  int CursorX1 = 0, CursorX2 = 0;  // pixel x of the lines
  QColor CursorColor1 = Qt::red, CursorColor2 = Qt::red;
  bool CursorsActive = false;   // mouse events on the window move the lines
  bool CursorDragging = false;  // a mouse button is held down in the tool
  int CursorMode = 1;           // live display while a line moves: 1 segment length, 4 start level
  std::int32_t SavedLastIndex = 0;  // record length to restore after a shortened view
  CalibrationUnit LastCalibrationUnit = CalibrationUnit::Factor;
  float CalibrationValue = 0.0f;  // the value last entered
  QPushButton *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr,
              *Button6 = nullptr;

  void FormMouseDown(QPoint at, Qt::MouseButton button);
  void FormMouseMove(QPoint at);
  void FormMouseUp(QPoint at);
  // Plot area of the pressure-time plot the lines move over.
  CursorArea PlotArea() const;

  // Pop-up menu: editing and calibration of the current record (EditMenu.cpp).
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

  // Pop-up menu: energy measures and the Leq300ms spectrum (MetricsMenu.cpp); OverlayAxes and
  // OverlayFormPending belong to the paired comparison (FileMenu.cpp).
  void Stats1Click();
  void Button12Click();
  SampleSpan StatisticsInterval() const;  // between the Statistics lines, within 0..N
  void Leq300msspectrum1Click();
  void CancelLeq300Click();
  QPushButton* Button12 = nullptr;
  TEnergyMetrics EnergyMetrics;                // of the last Statistics computation
  std::optional<Leq300Spectrum> LastSpectrum;  // of the last "Leq300ms spectrum"
  std::vector<QAction*> Leq300ExitItems;       // "[Exit Leq300 Spectrum]", one per entry
  bool TobFileWritten = false;                 // the last spectrum wrote its ".TOB" file
  bool WaveformImported = false;               // the current samples came from "Import waveform"
  std::optional<SpectrumAxes> OverlayAxes;     // kept across overlays until a waveform is opened
  bool OverlayFormPending = false;             // the next overlay first keeps the window's image

  // Pop-up menu "Impulse Criteria": the table of every criterion of the whole record, or of the
  // Statistics interval last chosen on the same record, in the upper half until "[Exit Impulse
  // Criteria]"; "[Copy Impulse Criteria]" puts it on the clipboard as tab-separated text. Ta and Tb
  // go to header rows 14 and 15 with every Statistics computation and after an analysis
  // (CriteriaMenu.cpp).
  void ImpulseCriteria1Click();
  void CopyImpulseCriteriaClick();
  void ExitImpulseCriteriaClick();
  QAction* ImpulseCriteria1 = nullptr;
  std::vector<QAction*> CriteriaModeItems;       // the two run-time items while the table shows
  std::optional<ImpulseCriteria> ShownCriteria;  // of the table on show

  // Pop-up menu "APPLY HEARING PROTECTION": the catalogue read at start-up and its menus
  // (ProtectionMenu.cpp).
  ProtectorCatalogue Catalogue;
  int SelectedProtector = -1;     // catalogue index of the protector last chosen
  bool HelpPictureShown = false;  // the protector help picture is up until the next mouse press
  QMenu* DefaultModeMenu = nullptr;
  std::array<QMenu*, 9> PowerUserMenus{};  // by PowerUserPlace (None has no menu)
  void ApplyEarProtector1Click();
  void Help2Click();
  void PopupItemClick(int catalogueIndex);
  void GetHPDData();

  // The two Analyze commands (AnalyzeMenu.cpp) and the cancel item they add (MovieMenu.cpp).
  void NoProtectorWarned1Click();
  void NoProtectorUnWarned1Click();
  void CancelMovieClick();

  // --- result displays and the hazard movie (MovieMenu.cpp) ---
  void AnimateClick();
  void UnwrapCochleaClick();
  void MovieStartClick();
  THRTimer HazardTimer;
  MoviePlayback Movie;           // frame, pause, restart and the frame delay kept across movies
  MovieExtremes UnwrapExtremes;  // display ranges found by "Unwrap Cochlea]"
  std::function<void(std::int32_t frame)> OnMovieFrame;  // after each movie frame is drawn

 protected:
  // MovieMenu.cpp
  void keyPressEvent(QKeyEvent* event) override;  // the movie keys
  void closeEvent(QCloseEvent* event) override;   // a running movie ends with the window

 private:
  // MovieMenu.cpp
  QAction* AddMenuBarItem(const QString& caption, void (TForm1::*handler)());
  void ReplaceLastMenuItem(const QString& caption, void (TForm1::*handler)());
  bool PlayMovie();

  enum class Screen { Start, Plot, Blank };

  // TForm1.cpp
  void BuildMenus();
  void BuildPopupMenu();
  QAction* AddCommand(QMenu* menu, const QString& caption, void (TForm1::*handler)());
  QAction* AddCommand(QMenu* menu, const QString& caption, std::function<void()> handler);
  // Runs a handler as one command: a failure ends it with an error message naming its cause.
  void RunCommand(const std::function<void()>& command);
  void ClientResized();

  // Startup.cpp
  void DrawStartScreen();
  void LoadModelFiles();
  void LoadPictures();
  void Help1Click();
  void Exit1Click();

  // ProtectionMenu.cpp
  void LoadCatalogue();

  // FileMenu.cpp
  void OpenORVwaveform1Click();
  void SaveORVwaveform1Click();
  void SaveORVwaveformas1Click();
  void ClearAfterSave();
  void LayOutForWaveform();

  // HeaderGridView.cpp
  void SetUpGridView();
  void RefreshGridView();
  void LayOutGrid(double name, double value, double comment);
  void ApplyPendingEdits();

  // AnalyzeMenu.cpp
  // Reads the parameter file again, so that edits take effect without a restart and no earlier
  // protector choice (angle, circuit) carries over.
  void ReloadModelParameters();
  void RunAnalysis(Listener listener);
  void CalculateHazard2();
  void WriteHazardRows(int micLocation, Listener listener);
  void AddMovieItems();

  // PlotCommands.cpp
  void DrawPressureTimePlot();
  void Copyscreentoclipboard1Click();
  void Copywaveformtoclipboard1Click();
  void Copyospectrumtoclipboard1Click();
  void CopyClientRect(const QRect& rect);
  // The pressure-time plot, with the spectrum or criteria table above it while one shows, as a
  // PNG, SVG or PDF file of the size the user gives, drawn again by the renderers.
  void Exportplot1Click();

  // ReportCommands.cpp: the analysis report of the current file, with the protector last chosen.
  void Savereport1Click();

  // CursorTool.cpp
  QPushButton* AddToolButton(const QString& caption, void (TForm1::*handler)());
  void OpenCursorTool(int x1, int x2, QPushButton* done);
  void ShowToolButton(QPushButton* button);
  void CloseCursorTool();
  void DrawCursorLine(int x, const QColor& colour);
  void MoveNearerLine(int x);
  void ShowLiveCursorValue();
  // A header cell in the grid and its view at once.
  void SetGridCell(int column, int row, const QString& text);

  // MetricsMenu.cpp
  void ShowIntervalPeak();
  void ShowEnergyMetrics();

  // CriteriaMenu.cpp
  void NoteStatisticsInterval(SampleSpan span);  // remembers it and shows its Ta and Tb
  void ShowImpulseDurations(SampleSpan span);    // Ta and Tb in header rows 14 and 15
  std::optional<SampleSpan> CriteriaIntervalOfRecord() const;  // none once the record changed
  void DrawImpulseCriteriaTable();
  void LeaveImpulseCriteria();  // a new record replaces the table: its items go, nothing redraws
  struct RememberedInterval {
    SampleSpan Span;
    std::uint64_t Record = 0;  // fingerprint of the record it was chosen on
  };
  std::optional<RememberedInterval> StatisticsCriteriaInterval;
  QString CriteriaTitle;
  bool GridShownBeforeCriteria = false;

  // EditMenu.cpp
  bool RequireSamples();
  void RedrawAfterEdit();

  Prompts& prompts_;
  Canvas* canvas_ = nullptr;
  QTableWidget* gridView_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLineEdit* statusBox_ = nullptr;
  Screen screen_ = Screen::Start;
};

}  // namespace orvek
