#pragma once
// Every user-visible text, fetched by number. Numbers 1000-1245 are the program's original table;
// texts added since are numbered from 2000 so the original table keeps its exact entries. Each
// language has its own table with the same numbers; English is complete and fills any gap.
#include <QList>
#include <QString>
#include <QStringList>

namespace TextTable {

// The languages with a table, by their two-letter codes; "en" first.
QStringList languages();

// The language of text() and lookup() for the whole run: chosen once at start-up, English until then
// (the command-line companion never chooses). An unknown code chooses English.
void setLanguage(const QString &code);
QString language();

// The configured code ("en", "de", "fr", "es", case and blanks ignored) when it names a language,
// else the language of the system locale's name ("de_AT"), else English.
QString chooseLanguage(const QString &configured, const QString &systemLocaleName);

// The text of the number in the chosen language (English where that language lacks it), or false
// when the number is in neither table.
bool lookup(int number, QString *text);

// The text of the number; an unknown number is reported through the error frame and gives "".
QString text(int number);

// A count with its noun in the number the chosen language gives it ("1 series" and "2 series", "1 Reihe"
// and "2 Reihen"; French takes 0 as singular), n shown with the locale.
QString count(qint64 n, int one, int many);

// The English text, whatever the language: what is written into files stays the same everywhere.
QString english(int number);

// The text of one language's own table only, without the English fallback (for checks).
bool lookupIn(const QString &code, int number, QString *text);
// The numbers one language's own table holds, ascending.
QList<int> numbersIn(const QString &code);

// The numbers of the original table, ascending (for checks).
QList<int> originalNumbers();
// The numbers of the extension table, ascending.
QList<int> extensionNumbers();

// Texts beyond the original table. Keep the numbers stable: windows and messages refer to them.
enum Extension {
    PortNoPermission = 2000,
    PortJoinGroup = 2001,
    PortInUse = 2002,
    PortVanished = 2003,
    PortOpenFailed = 2004,
    AnswerTooShort = 2005,
    LinkLost = 2006,
    AnswerTooLong = 2007,
    UnknownTextNumber = 2008,

    // The desktop program's own texts.
    FileMissing = 2100,
    AboutInternet = 2101,
    AboutMail = 2102,
    WaitProgress = 2103,
    HelpTitle = 2104,
    AboutDisclaimer = 2105,
    FileWriteFailed = 2009,
    FileReadFailed = 2010,
    ProgramListTooLong = 2011,
    ProgramValueUnsafe = 2012,
    CalculationFault = 2013,
    NotANumber = 2014,
    TrashFailed = 2015,
    FileEmpty = 2016,
    FieldBreaksFile = 2017,
    InvalidImportDate = 2018,
    IntegerCellsLeftEmpty = 2019,
    ExportTooManyDatasets = 2020,
    PrintAreaTooSmall = 2021,
    FolderMissing = 2022,
    ImportTimedOut = 2023,
    // Program console, program editor and working-directory dialog.
    ConcentrationUnit = 2200,
    ConcentrationColumn = 2201,
    ReplaceFile = 2202,
    DriveUnreadable = 2203,
    InvalidDirName = 2204,
    DirExists = 2205,
    DirCreateFailed = 2206,
    // Number conversions of the spreadsheet export and the calibration records.
    NumberCellsLeftEmpty = 2300,
    ExportTextTooLong = 2301,
    OutOfRange = 2302,
    // Files the program writes.
    NotRegularFile = 2320,
    ReadOnlyFile = 2321,
    NameNotUtf8 = 2322,
    ForeignLink = 2323,
    WrittenFileIncomplete = 2324,
    // What a meter model does not keep, and the limits of a program's fields.
    NoProgramsOnMeter = 2360,
    NoPHRecordOnMeter = 2361,
    NoTurbidityRecordOnMeter = 2362,
    ProgramFieldEmpty = 2363,
    ProgramFieldTooLong = 2364,
    ProgramFieldCharacter = 2365,
    ProgramFieldChoice = 2366,
    ProgramFieldNumber = 2367,
    ProgramFieldProgNum = 2368,
    // Exchanges with the meter and the record and program files they fill.
    ExchangeRunning = 2340,
    FieldBreaksRecordFile = 2341,
    FieldBreaksProgramFile = 2342,
    // The connection check.
    CheckTitle = 2500,
    CheckPortsHeading = 2501,
    CheckNoPorts = 2502,
    CheckUsable = 2503,
    CheckNoPermission = 2504,
    CheckJoinGroup = 2505,
    CheckGroupPending = 2506,
    CheckInUse = 2507,
    CheckInUseBy = 2508,
    CheckVanished = 2509,
    CheckGrabbersHeading = 2510,
    CheckNoGrabbers = 2511,
    CheckGrabber = 2512,
    CheckSearchHeading = 2513,
    CheckSearchNotRun = 2514,
    CheckMeterFound = 2515,
    CheckFirmwareTooOld = 2516,
    CheckNoAnswer = 2517,
    CheckLogFolder = 2518,
    CheckRunPorts = 2519,
    CheckRunSearch = 2520,
    CheckMenu = 2521,
    CheckNotSerial = 2522,
    // The communication log.
    CommLogTitle = 2540,
    CommLogSaveAs = 2541,
    CommLogClose = 2542,
    CommLogFilter = 2543,
    CommLogWhere = 2544,
    CommLogNotSaved = 2545,
    CommLogMenu = 2546,
    // Workbooks, PDF files, print preview and page setup.
    PdfFilter = 2600,
    PdfMenu = 2601,
    NoPrinterOfferPdf = 2602,
    PdfNotWritten = 2603,
    XlsxFilter = 2604,
    XlsxTooManyDatasets = 2605,
    XlsxTextTooLong = 2606,
    PrintMore = 2607,
    PdfButton = 2608,
    // The demo with a simulated meter.
    DemoSimulatorMissing = 2640,
    DemoNotStarted = 2641,
    DemoNotReady = 2642,
    // The chart of the measured values.
    ChartMenu = 2660,
    ChartSeriesName = 2661,
    ChartNoUnit = 2662,
    ChartSeriesCaption = 2663,
    ChartReset = 2664,
    ChartSave = 2665,
    ChartControls = 2666,
    ChartSummary = 2667,
    ChartUnplaced = 2668,
    ChartTipLine = 2669,
    ChartTipMore = 2670,
    ChartNotSaved = 2671,
    ChartPngFilter = 2672,
    ChartSvgFilter = 2673,
    ChartOnPrintout = 2674,
    // Files, folders and programs a lab user brings along.
    WorkDirCreated = 2700,
    NoMeterPort = 2701,
    ProgramSendAnyway = 2702,
    CountPointOne = 2703,
    CountPointMany = 2704,
    CountSeriesOne = 2705,
    CountSeriesMany = 2706,
    MeanOfAbsorbances = 2707,
    MeanOfConcentrations = 2708,
    ChartNoValues = 2709,
    // The measured values as a table on paper.
    TablePrintout = 2720,
    PageOfPages = 2721,
    TablePrintoutTitle = 2722,
    // The archive.
    ArchiveUnreachable = 2800,
    ArchiveLoginRefused = 2801,
    ArchiveCertificate = 2802,
    ArchiveNoRights = 2803,
    ArchiveNoSchema = 2804,
    ArchiveNewer = 2805,
    ArchiveDamaged = 2806,
    ArchiveNetworkFs = 2807,
    ArchiveCannotWrite = 2808,
    ArchiveDiskFull = 2809,
    ArchiveFailed = 2810,
    ArchiveSummary = 2811,
    ArchiveKeptLocally = 2812,
    ArchiveFilterTooLong = 2813,
    ArchiveFilterDates = 2814,
    ArchiveFilterDate = 2815,
    ArchiveBusy = 2816,
    ArchiveDisabled = 2817,
    ArchiveCancelled = 2818,
    ArchiveBytesUnreadable = 2819,
    ArchiveRawMismatch = 2820,
    ArchiveBackupServer = 2821,
    ArchiveBadLocation = 2822,
    ArchivePasswordInLocation = 2823,
    ArchiveImportSummary = 2824,
    ArchiveNotArchived = 2825,
    // The archive window and the adding of files.
    ArchiveMenu = 2826,
    ArchiveAddMenu = 2827,
    ArchiveTitle = 2828,
    ArchiveFilterBox = 2829,
    ArchiveMeterField = 2830,
    ArchiveProgramField = 2831,
    ArchiveIdField = 2832,
    ArchiveStatusField = 2833,
    ArchiveCodeField = 2834,
    ArchiveFromField = 2835,
    ArchiveToField = 2836,
    ArchiveConflictsOnly = 2837,
    ArchiveSearch = 2838,
    ArchiveClear = 2839,
    ArchiveOpenDocument = 2840,
    ArchiveCount = 2841,
    ArchiveConflict = 2842,
    ArchiveImported = 2843,
    ArchiveImportedBy = 2844,
    ArchiveAdding = 2845,
    ArchiveAddProgress = 2846,
    ArchiveDateTip = 2847,
    ArchiveNothing = 2848,
    ArchiveConflictTip = 2849,
    ArchiveFilesRefused = 2850,
    // The activity trail.
    ArchiveServerOlder = 2900,
    TrailMissing = 2901,
    TrailLinkBroken = 2902,
    TrailChanged = 2903,
    TrailAnchorDiffers = 2904,
    TrailAnchorMissing = 2905,
    TrailImportUnrecorded = 2906,
    TrailRawChanged = 2907,
    TrailDatasetChanged = 2908,
    TrailIntact = 2909,
    TrailBroken = 2910,
    TrailReasonMissing = 2911,
    TrailNoDataset = 2912,
    // Delivery to the lab's systems: profiles, worklists, drop folders, automatic import.
    ProfileError = 3100,
    ProfileTooLong = 3101,
    ProfileNotUtf8 = 3102,
    ProfileUnknownSection = 3103,
    ProfileNoKey = 3104,
    ProfileTwice = 3105,
    ProfileUnknownColumn = 3106,
    ProfileSeparator = 3107,
    ProfileBadValue = 3108,
    ProfileUnknownKey = 3109,
    ProfileNoColumns = 3110,
    ProfileHeaderCount = 3111,
    ProfileSeparatorIsMark = 3112,
    WorklistNoHeader = 3113,
    WorklistEmpty = 3114,
    WorklistTwice = 3115,
    WorklistReport = 3116,
    WorklistWrongProgram = 3117,
    DeliveryWaiting = 3118,
    DeliveryNoFolder = 3119,
    DeliveryDone = 3120,
    AutoImportOption = 3121,
    AutoImportNotice = 3122,
    ProfilesMenu = 3123,
    ProfilesTitle = 3124,
    ProfileNameField = 3125,
    ProfileSaved = 3126,
    WorklistMenu = 3127,
    WorklistLoaded = 3128,
    LoginFixedToAccount = 2950,
};

} // namespace TextTable
