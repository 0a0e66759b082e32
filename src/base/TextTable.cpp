// The program's user-visible texts, by number. Numbers are referenced from windows,
// messages and files; never renumber an entry.
#include "TextTable.h"

#include "ErrorFrame.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <vector>

namespace {

struct Entry {
    int number;
    const char *text;
};

// Sorted by number; lookups are binary searches.
using enum TextTable::Original;
constexpr Entry kTexts[] = {
    {MenuFile, "&File"},
    {MenuFileNew, "&New"},
    {MenuFileOpen, "&Open..."},
    {MenuFileClose, "&Close"},
    {MenuFileSave, "&Save"},
    {MenuFileSaveAs, "Save &As..."},
    {MenuFilePageSetup, "Page Set&up..."},
    {MenuFilePrintPreview, "Print Pre&view"},
    {MenuFilePrint, "&Print..."},
    {MenuFileExit, "E&xit"},
    {MenuView, "&View"},
    {MenuViewToolbar, "&Toolbar"},
    {MenuWindow, "&Window"},
    {MenuWindowCascade, "&Cascade"},
    {MenuWindowTileHorizontal, "Tile &Horizontal"},
    {MenuWindowTileVertical, "Tile &Vertical"},
    {MenuHelp, "&Help"},
    {MenuHelpOnline, "&Online Help"},
    {MenuHelpAbout, "&About "},
    {ToolNew, "New"},
    {ToolOpen, "Open"},
    {ToolSave, "Save"},
    {ToolPrint, "Print"},
    {ToolAbout, "About"},
    {AboutSystemInfo, "&System Info..."},
    {Ok, "OK"},
    {Version, "Version"},
    {MenuImport, "&Import"},
    {ErrorCaption, "Error"},
    {ImportError, "Import error!"},
    {ColumnNumber, "No."},
    {ColumnDate, "Date"},
    {ColumnTime, "Time"},
    {ColumnCitation, "Cit."},
    {ColumnArBvCal, "AR/BV/Cal"},
    {ColumnDilution, "Dil."},
    {ColumnValue1, "Value 1"},
    {ColumnUnit1, "Unit 1"},
    {ColumnStatus1, "Status 1"},
    {ColumnValue2, "Value 2"},
    {ColumnUnit2, "Unit 2"},
    {ColumnStatus2, "Status 2"},
    {DateLabel, "Date:"},
    {TimeLabel, "Time:"},
    {TableWriteError, "Table write error!"},
    {MenuExportXls, "&Export (.xls)"},
    {InformationCaption, "Information"},
    {NoDatasetsImported, "No datasets imported!"},
    {ExportError, "Export error!"},
    {ExcelWorkbookFilter, "Microsoft Office Excel workbook"},
    {NoMeterRecognized, "No Lumora, Lumora Turb or Klaro 4 recognized!"},
    {Recognized, "recognized!"},
    {Offline, "offline"},
    {MeterLabel, "Meter:"},
    {SerialNumberLabel, "S/N:"},
    {ColumnValue, "Value"},
    {ColumnUnit, "Unit"},
    {ColumnStatus, "Status"},
    {Datasets, "Datasets"},
    {Cancel, "Cancel"},
    {PleaseWait, "Please wait..."},
    {SearchingForMeter, "Searching for meter..."},
    {MenuPrograms, "&Programs"},
    {MenuUserDefinedPrograms, "&User Defined Programs"},
    {NewProgram, "New program"},
    {ProgramCaption, "Program"},
    {ProgramNumberLabel, "Program No:"},
    {ModelLabel, "Model:"},
    {CellLabel, "Cell [mm]:"},
    {WaveLengthLabel, "Wave length [nm]:"},
    {MrbLabel, "MRB:"},
    {MreLabel, "MRE:"},
    {A0Label, "A0:"},
    {SlopeLabel, "Slope:"},
    {ResolutionLabel, "Resolution:"},
    {CitationFormLabel, "Citation form:"},
    {UnitLabel, "Unit:"},
    {ProgramSaveFailed, "Saving of program failed!"},
    {Meter, "Meter"},
    {Erase, "Erase"},
    {QuestionCaption, "Question"},
    {ConfirmEraseProgram, "Really erase the selected program?"},
    {ProgramEraseFailed, "Erasure of program failed!"},
    {EraseAll, "Erase all"},
    {ConfirmEraseAllPrograms, "Really erase all programs?"},
    {EraseAllProgramsFailed, "Erasure of all programs failed!"},
    {UserDefinedPrograms, "User defined programs"},
    {ProgramReadFailed, "Reading of program failed!"},
    {SendToMeter, "Send to meter"},
    {ConfirmModifyProgram, "Modify existing program?"},
    {ProgramModifyFailed, "Modifying of program failed!"},
    {LoginCaption, "Login"},
    {SearchForMeter, "Search for meter"},
    {WorkOffline, "Work offline"},
    {MenuLogin, "&Login"},
    {SaveAsFile, "Save as file"},
    {SaveAsCaption, "Save as"},
    {CsvFilter, "CSV (separator-delimited)"},
    {ProgramNumberOutOfRange, "Please enter a number in the range 900 - 999!"},
    {WarningCaption, "Warning"},
    {CalibrationMore, "Calibration >>"},
    {ValuePairs, "Value pairs"},
    {CalibrationLine, "Calibration line"},
    {Calculate, "Calculate"},
    {Results, "Results"},
    {ResultA0, "A0"},
    {ResultA1, "A1"},
    {ResultYq, "YQ"},
    {ResultXq, "XQ"},
    {ResultN, "N"},
    {ResultSx0, "SX0"},
    {ResultVx0, "VX0"},
    {ResultXn, "XN"},
    {ResultXb, "XB"},
    {AxisIntercept, "Axis intercept (zero point)"},
    {Slope, "Slope"},
    {MeanValue, "Mean value"},
    {CalibrationPointCount, "Number of calibration points"},
    {StandardDeviation, "Standard deviation"},
    {CoefficientOfVariation, "Coefficient of variation"},
    {LimitOfDetection, "Limit of detection"},
    {LimitOfQuantification, "Limit of quantification"},
    {TakeOver, "Take over"},
    {Absorbance, "Abs"},
    {TooFewValuePairs, "Please enter at least 3 value pairs!"},
    {CalculationError, "Calculation error!"},
    {CalibrationLineError, "Calibration line error!"},
    {ProgramExists, "Program already existing!"},
    {ToolImport, "Import datasets"},
    {ToolExport, "Export as .xls"},
    {DataLoading, "Data is being loaded..."},
    {ProgramUpdateFailed, "Updating of programs failed!"},
    {MeterRecognitionError, "Meter recognition error!"},
    {ProgramListReadFailed, "Error while reading the program list!"},
    {Yes, "Yes"},
    {No, "No"},
    {Reset, "Reset"},
    {AllProgramSlotsOccupied, "All program locations occupied!"},
    {EraseProgramFirst, "Please erase a program first!"},
    {SystemError, "System error"},
    {DataIncomplete, "Entered data is incomplete!"},
    {ProgramSaved, "Program successfully saved!"},
    {Modify, "Modify"},
    {ModifyProgram, "Modify program"},
    {DirectoryReadFailed, "Error while reading the directory!"},
    {CopyRight, "Copy --->"},
    {CopyLeft, "<--- Copy"},
    {CopyAllLeft, "<--- Copy all"},
    {CopyAllRight, "Copy all --->"},
    {ProgramCopyCanceled, "Program copying canceled!"},
    {ProgramsNotAllCopied, "The programs were not completely copied!"},
    {SelectDirectory, "Select directory"},
    {ChangeWorkingDirectory, "Change working directory"},
    {WorkingDirectoryLabel, "Working directory:"},
    {CreateDirectoryInLabel, "Create new directory in:"},
    {CreateDirectory, "Create directory"},
    {UserLabel, "User:"},
    {SaveError, "Save error!"},
    {DataModified, "Data was modified!"},
    {AskSaveData, "Do you want to save the data?"},
    {FileReadError, "Error while reading from file!"},
    {InvalidCsvFormat, "Invalid CSV-format!"},
    {ColumnInterface, "Interface"},
    {ColumnBaudRate, "Baud rate"},
    {ColumnSerialNumber, "Serial number"},
    {ColumnUser, "User"},
    {TipModifyProgram, "Modify selected program"},
    {TipAddProgram, "Add new program"},
    {TipEraseProgram, "Erase selected program"},
    {TipEraseAllInMeter, "Erase all programs in the meter"},
    {TipEraseAllInDirectory, "Erase all programs in the directory"},
    {TipCopyToDirectory, "Copy selected program into directory"},
    {TipSaveInMeter, "Save selected program in the meter"},
    {TipCopyAllToDirectory, "Copy all programs into directory"},
    {TipSaveAllInMeter, "Save all programs in the meter"},
    {TipModel, "Model (5 characters)"},
    {TipCitationForm, "Citation form (9 characters)"},
    {TipUnit, "Unit (7 characters)"},
    {TipRangeBegin, "Begin of measuring range"},
    {TipRangeEnd, "End of measuring range"},
    {TipProgramNumber, "Program number (900 - 999)"},
    {MeterSoftwareTooOld, "The software version of the meter is too low!"},
    {UpdateFirmware, "Please update the firmware!"},
    {ConnectViaDock, "Please connect the meter via the LinkDock!"},
    {MenuDataExchange, "&Data exchange"},
    {ToolImportCaption, "Import"},
    {MenuChangeUser, "&Change user"},
    {MenuSearchMeter, "&Search meter"},
    {ChangeUserCaption, "Change user"},
    {PrintError, "Print error!"},
    {PrintOnPrinterLabel, "Print on printer:"},
    {NoPrinter, "No printer available!"},
    {MeasuringRangeExceeded, "The measuring range of the Lumora meter (-0.2 A ... 2.0 A) is exceeded!"},
    {CheckRangeAndSlope, "Please check MRB, MRE, A0 and slope!"},
    {Hide, "<< Hide"},
    {HelpFileMain, "MeravoHlp_e.chm"},
    {MenuCalibrationRecords, "&Calibration records"},
    {MenuCalRecordPh, "&pH"},
    {MenuCalRecordTurbidity, "&Turbidity"},
    {CalRecordTurbidityCaption, "Calibration record - Turbidity"},
    {CalRecordPhCaption, "Calibration record - pH"},
    {CalRecordReadFailed, "Error while reading the calibration record!"},
    {IntervalLabel, "Interval:"},
    {Days, "Day(s)"},
    {ModeLabel, "Mode:"},
    {CalSlopeLabel, "Slope:"},
    {AsymmetryLabel, "Asymmetry:"},
    {SensorLabel, "Sensor:"},
    {DefaultMode, "Default"},
    {RecordSaveFailed, "Saving of record failed!"},
    {OpenFileCaption, "Open file"},
    {EditLot, "Edit lot"},
    {SetLotNumberLabel, "Set lot no.:"},
    {ExpiryDateLabel, "Expiry date:"},
    {ManufacturerLabel, "Manufacturer:"},
    {ColumnStandard, "Standard"},
    {ColumnComment, "Comment (e.g. sub-lot)"},
    {ColumnLotStatus, "Status"},
    {BlankRequiredLabel, "Blank required:"},
    {StdAdjustPossibleLabel, "Std. adjustment possible:"},
    {StdAdjustRequiredLabel, "Std. adjustment required:"},
    {ColumnAqaCal, "AQA/Cal"},
    {ColumnDateCal, "Date cal."},
    {ColumnTimeCal, "Time cal."},
    {HelpFileClarix, "ClarixHlp_e.chm"},
    {NoKlaro7Recognized, "No Klaro 7 recognized!"},
};

// Texts beyond the original table; "%1" and "%2" are filled in where the text is used. New texts go at
// the end with a number not used before.
constexpr Entry kExtension[] = {
    {2000, "No permission to open the serial port %1."},
    {2001, "Add your user to the group \"%1\" (for example: sudo usermod -aG %1 %2) and log in again."},
    {2002, "The serial port %1 is in use by another program."},
    {2003, "The serial port %1 is no longer there."},
    {2004, "The serial port %1 could not be opened: %2"},
    {2005, "The meter's answer has no content."},
    {2006, "The connection to the meter on %1 was lost. Check the cable and that the meter is switched on."},
    {2007, "The meter's answer is longer than %1 bytes; the exchange was ended."},
    {2008, "Unknown text number %1."},
    {2100, "The file %1 is missing."},
    {2101, "Internet:"},
    {2102, "E-mail:"},
    {2103, "%1 datasets, %2 bytes received in %3 s"},
    {2104, "Help"},
    {2106, "No data from the meter for %1 s"},
    {2105, "This program is provided as is, without warranty of any kind. Check imported values against the "
           "meter before you rely on them."},
    {2009, "The file %1 could not be written: %2"},
    {2010, "The file %1 could not be read: %2"},
    {2011, "The meter listed more than %1 programs."},
    {2012, "The program value \"%1\" holds a character the meter cannot take (a comma, a semicolon or a line "
           "break)."},
    {2013, "Floating-point fault in the calculation (division by zero or overflow)."},
    {2014, "The value \"%1\" is not a number."},
    {2015, "The file %1 could not be moved to the trash."},
    {2016, "The file is empty."},
    {2017, "\"%1\" cannot be stored in a measured-value file: it holds a semicolon or a line break."},
    {2018, "The date of the import is not a valid date."},
    {2019, "%1 cell(s) of whole-number columns were left empty: the text is not a whole number. First: row "
           "%2, column %3 (\"%4\")."},
    {2020, "An Excel 2 worksheet (.xls) holds at most %1 datasets; the export was not written. Export as an "
           "Excel workbook (.xlsx) instead: it holds up to %2."},
    {2021, "The printable area is too small for a printout."},
    {2022, "The folder does not exist."},
    {2023, "The import timed out: the meter's answer did not end within %1 s."},
    {2200, "mg/l"},
    {2201, "c [%1]"},
    {2202, "The file %1 already exists.\r\nDo you want to replace it?"},
    {2203, "The drive %1 cannot be read."},
    {2204, "\"%1\" is not a valid directory name."},
    {2205, "The directory %1 already exists."},
    {2206, "The directory %1 could not be created: %2"},
    // Number conversions of the spreadsheet export and the calibration records.
    {2300, "%1 cell(s) of number columns were left empty: the number is too large for a spreadsheet. First: "
           "row %2, column %3 (\"%4\")."},
    {2301, "The text in row %1, column %2 has %3 characters; a spreadsheet cell holds at most 255. The "
           "export was not written."},
    {2302, "The value \"%1\" is out of range."},
    // Files the program writes.
    {2320, "It is not a regular file (a device, a pipe or a folder); it was left as it is."},
    {2321, "The file is read-only."},
    {2322, "The name is not valid UTF-8 text, so it cannot be written as given; the file was not written."},
    {2323, "It is a link that another user made in a folder every user may write to; it was not followed and "
           "the file was not written."},
    {2324, "The written file did not read back complete (%1); the previous file was kept."},
    // What a meter model does not keep, and the limits of a program's fields.
    {2360, "The %1 keeps no user-defined programs."},
    {2361, "The %1 keeps no pH calibration record."},
    {2362, "The %1 keeps no turbidity calibration record."},
    {2363, "The program field %1 is empty."},
    {2364, "The program field %1 holds %2 characters; it takes at most %3."},
    {2365, "The program field %1 holds a character it cannot take: %2."},
    {2366, "The program field %1 must be one of: %2."},
    {2367, "The program field %1 is not a number with a point as decimal separator."},
    {2368, "The program field %1 must be a number from %2 to %3, written with three digits."},
    // Exchanges with the meter and the record and program files they fill.
    {2340, "Another exchange with the meter is still running; the command was not sent."},
    {2341, "\"%1\" cannot be stored in a calibration record file: it holds a semicolon or a line break."},
    {2342, "\"%1\" cannot be stored in a program file: it holds a semicolon or a line break."},
    // The connection check.
    {2500, "Connection check"},
    {2501, "Serial ports:"},
    {2502, "No serial port found."},
    {2503, "usable"},
    {2504, "no permission"},
    {2505, "no permission: the device belongs to group %1; add yourself with 'sudo usermod -aG %1 %2', then "
           "log out and in"},
    {2506, "no permission: the device belongs to group %1; you are listed in it, but this session does not "
           "have it yet: log out and in"},
    {2507, "in use by another program"},
    {2508, "in use by %1"},
    {2509, "vanished"},
    {2510, "Programs that grab serial adapters:"},
    {2511, "none found"},
    {2512, "%1 may grab the adapter; to remove it: %2"},
    {2513, "Meter search:"},
    {2514, "not run"},
    {2515, "%1 answered on COM %2 at %3 Baud"},
    {2516, "a meter answered on COM %1 at %2 Baud, but its firmware is too old"},
    {2517, "no meter answered on any usable port at any baud rate (the search does not tell a silent port "
           "from garbled or rejected answers; the communication log shows what came)"},
    {2518, "Communication log folder: %1"},
    {2519, "Check ports"},
    {2520, "Search meter"},
    {2521, "&Connection check..."},
    {2522, "not a serial port (no terminal device); no meter can be attached"},
    // The communication log.
    {2540, "Communication log"},
    {2541, "Save as..."},
    {2542, "Close"},
    {2543, "Log files"},
    {2544, "This run's exchanges with the meter; the last five runs are kept in %1"},
    {2545, "The communication log was not saved to \"%1\": %2"},
    {2546, "&Communication log"},
    // Workbooks, PDF files, print preview and page setup.
    {2600, "PDF file"},
    {2601, "Save as P&DF..."},
    {2602, "No printer available! Save the printout as a PDF file instead?"},
    {2603, "The PDF file was not written."},
    {2604, "Excel workbook"},
    {2605, "A workbook holds at most %1 datasets; the export was not written."},
    {2606, "Row %1, column %2 holds a text of %3 characters; a workbook cell takes at most 32,767."},
    {2607, "Print preview, PDF file and page setup"},
    {2608, "Save as PDF..."},
    // The demo with a simulated meter.
    {2640, "The simulated meter %1 is missing; the demo needs it in the program's folder."},
    {2641, "The simulated meter did not start: %1"},
    {2642, "it did not report ready within %1 seconds"},
    // The chart of the measured values.
    {2660, "C&hart of the values"},
    {2661, "Program %1, %2"},
    {2662, "(no unit)"},
    {2663, "Series:"},
    {2664, "Reset view"},
    {2665, "Save chart..."},
    {2666, "Wheel: zoom the time, Shift+wheel: the values; drag: move; right-drag: zoom into the rectangle; "
           "keys + and -, arrows, Home: everything"},
    {2667, "%1 in %2; %3 with a status other than OK (hollow), %4 out of range (at the range "
           "limit, with their sign)."},
    {2668, "%1 datasets without a readable date, time or number are not drawn."},
    {2669, "No. %1   %2 %3   %4 %5   %6   Status: %7"},
    {2670, "... and %1 more"},
    {2671, "The chart was not saved to \"%1\": %2"},
    {2672, "PNG image"},
    {2673, "SVG drawing"},
    {2674, "C&hart as the last page"},
    {2700, "The working folder %1 did not exist; it has been created."},
    {2701, "No meter has been found on a serial port yet: search for the meter first."},
    {2702, "Send the program all the same?"},
    {2703, "%1 point"},
    {2704, "%1 points"},
    {2705, "%1 series"},
    {2706, "%1 series"},
    {2707, "Mean of the absorbances"},
    {2708, "Mean of the concentrations"},
    {2709, "No values"},
    {2720, "Print as &table"},
    {2721, "Page %1 of %2"},
    {2722, "Measured values"},
    {2800, "The archive server %1 does not answer: check that it runs and that this PC reaches it over the "
           "network (%2)."},
    {2801, "The archive server %1 refused the login: check the role name in the location, the password in "
           "~/.pgpass or the PGSERVICE entry, and the server's pg_hba.conf (%2)."},
    {2802, "The archive server %1 was not accepted as genuine: check sslrootcert and that the host name in "
           "the location is the one in the server's certificate (%2)."},
    {2803, "The role has no right to this in the archive on %1: the administrator grants it the program's "
           "role meravo_user (%2)."},
    {2804, "The archive on %1 has no tables: the administrator creates them with archive-postgresql.sql."},
    {2805, "The archive %1 was made by a newer version of this program (schema %2; this version knows %3). "
           "It is left as it is: use the newer version."},
    {2806, "The archive %1 is damaged or is no archive (%2). It is left as it is; the program works on "
           "without it."},
    {2807, "The archive %1 is on a network file system (%2). An archive file must be on a local disk; a lab "
           "that shares one archive puts it on a PostgreSQL server."},
    {2808, "The archive %1 cannot be created or written (%2)."},
    {2809, "The archive %1 could not be written: the disk is full. Nothing of this work was archived."},
    {2810, "The archive %1 reported an error: %2"},
    {2811, "%1 new, %2 already archived, %3 conflicting"},
    {2812, "The archive server does not answer: the import is kept on this PC and will be sent when the "
           "server answers."},
    {2813, "A filter text is longer than %1 characters."},
    {2814, "The start date lies after the end date."},
    {2815, "\"%1\" is no date: write it as 2026-03-24."},
    {2816, "The archive %1 stayed busy with another program's work (%2)."},
    {2817, "The archive is switched off ([Archive] Enabled=0)."},
    {2818, "Cancelled: the archive is as it was before."},
    {2819, "The original bytes of the import %1 do not read as datasets."},
    {2820, "The original bytes of import %1 do not match their SHA-256: the archive was changed outside this "
           "program."},
    {2821, "The archive on %1 is a PostgreSQL database: back it up with the server's own tools (pg_dump, "
           "pg_basebackup)."},
    {2822, "The archive location \"%1\" cannot be read: write a path, or "
           "postgresql://host[:port]/database?options."},
    {2823, "The archive location for %1 holds a password: remove it and put it in ~/.pgpass (or a PGSERVICE "
           "entry), never in the program's settings."},
    {2824, "Archive: %1."},
    {2825, "The datasets were read but not archived: %1"},
    {2826, "A&rchive..."},
    {2827, "Add &files to archive..."},
    {2828, "Archive"},
    {2829, "Filter"},
    {2830, "Meter S/N:"},
    {2831, "Program:"},
    {2832, "ID contains:"},
    {2833, "Status:"},
    {2834, "Code:"},
    {2835, "From:"},
    {2836, "To:"},
    {2837, "Only conflicts"},
    {2838, "&Search"},
    {2839, "C&lear"},
    {2840, "Open as &document"},
    {2841, "%1 datasets"},
    {2842, "Conflict"},
    {2843, "Imported"},
    {2844, "Imported by"},
    {2845, "Adding files to the archive..."},
    {2846, "%1 of %2 files, %3 per second, about %4 s left"},
    {2847, "A date as 2026-03-24; empty: no limit"},
    {2848, "No dataset matches the filter."},
    {2849, "Archived before with the same meter, number, date and time but other content."},
    {2850, "These files are no measured-value files and were not added:"},
    {2880, "The archive %1 may be changed by every account of this PC, so it is not used: take the others' "
           "write right away (chmod o-w) or choose another location."},
    {2881, "The archive %1 is read-only: nothing is written into it, also not by an administrator."},
    {2882, "The archive %1 belongs to the account %2: another account's archive is used only in the shared "
           "set-up an administrator makes (a group's folder named in Settings.ini)."},
    {2883, "The shared archive %1 is not writable by its group %2, or this account is not in that group: "
           "the administrator gives the group the write right and the account the group."},
    {2884, "%1 is the archive itself or one of its files: the backup goes into another file."},
    {2885, "%1 exists already and is not replaced."},
    {2900, "The archive on %1 has schema %2; this version needs %3: the administrator brings the server "
           "forward with this version's archive-postgresql-upgrade.sql (beside archive-postgresql.sql)."},
    {2901, "Entry %1 is missing: the trail goes on with entry %2 (an entry was removed or inserted)."},
    {2902, "Entry %1 does not follow the entry before it: an entry before it was changed, removed, inserted "
           "or moved."},
    {2903, "Entry %1 was changed after it was written."},
    {2904, "Entry %1 no longer has the hash noted for it: the trail was rewritten."},
    {2905, "Entry %1, noted earlier, is no longer in the trail: the trail was rewritten."},
    {2906, "Import %1 has no trail entry that matches its original bytes: it was inserted or changed outside "
           "this program."},
    {2907,
     "The original bytes of import %1 do not match their SHA-256: they were changed outside this program."},
    {2908,
     "Dataset %1 of import %2 no longer matches the original bytes: it was changed outside this program."},
    {2909, "The trail is intact: %1 entries, %2 imports with their original bytes and datasets."},
    {2910, "The trail is broken at entry %1: %2"},
    {2911, "A reason is needed."},
    {2912, "There is no archived dataset %1."},
    {2970, "Import %1, recorded by this entry, is not in the archive: it was removed outside this program."},
    {2971, "Import %1 no longer carries what its entry recorded (%2): it was changed outside this program."},
    {2972, "Import %1 holds %2 datasets, its entry recorded %3: datasets were removed, added or moved "
           "outside this program."},
    {2973,
     "The datasets of import %1 are not those its entry recorded: they were exchanged outside this program."},
    {2974, "Dataset %1 belongs to import %2, which is not in the archive: it was moved, or its import "
           "removed, outside this program."},
    {2975, "The conflict mark of dataset %1 does not follow from the datasets archived before it: it was "
           "changed outside this program."},
    {2976, "Import %1 has %2 datasets marked as conflicting, its entry recorded %3: marks were changed "
           "outside this program."},
    {2977,
     "Row %1 of %2 is not what the entry it names recorded: it was added or changed outside this program."},
    {2978, "This entry recorded %1 rows of %2, the archive holds %3: rows were removed or added outside this "
           "program."},
    {2979, "The rows of %1 this entry recorded are not those the archive holds: they were changed outside "
           "this program."},
    {3100, "%1, line %2: %3"},
    {3101, "the file is longer than %1 KiB"},
    {3102, "the text is not UTF-8"},
    {3103, "unknown section %1 (only [Profile] is known)"},
    {3104, "not a line KEY=VALUE in [Profile]: %1"},
    {3105, "%1 is given a second time (first on line %2)"},
    {3106, "unknown column \"%1\""},
    {3107, "the separator is one character or Tab, not \"%1\""},
    {3108, "\"%1\" is no value for %2 (one of: %3)"},
    {3109, "unknown key %1"},
    {3110, "there is no Columns line"},
    {3111, "%1 headers for %2 columns"},
    {3112, "the separator is also the decimal mark"},
    {3113, "no header line naming the columns Id (or Position) and SampleId"},
    {3114, "an ID or a sample ID is empty"},
    {3115, "ID %1 is listed twice (first on line %2)"},
    {3116,
     "Worklist: %1 datasets got their sample ID; IDs not in the worklist: %2; listed but not measured: %3"},
    {3117, "ID %1 was measured with program %2; the worklist expects %3"},
    {3118, "Delivery to %1 waits: the folder %2 cannot take the file (%3). The datasets stay pending and are "
           "sent at the next import, the next start or with meravo-cli deliver."},
    {3119, "the folder does not exist"},
    {3120, "%1 datasets delivered to %2: %3"},
    {3121, "Import automatically when a meter is connected"},
    {3122, "Automatic import from %1: %2"},
    {3123, "D&elivery profiles..."},
    {3124, "Delivery profiles"},
    {3125, "Name"},
    {3126, "The profile was saved as %1."},
    {3127, "Load &worklist..."},
    {3128, "The worklist %1 gives the next imports their sample IDs (%2 entries)."},
    {3140, "Dataset %1 (No. %2) is held back from %3: its line (sample ID \"%4\") holds characters the "
           "profile's encoding cannot write, and a LIMS key is never altered. It stays pending."},
    {3141, "Delivery to %1 refuses the folder %2: %3."},
    {3142, "%1 is a relative folder: it would depend on the working directory; give the full path"},
    {3143, "%1 is a link another account placed in a shared folder"},
    {3144, "%1=%2 must hold %3 exactly once each"},
    {3145, "the sample ID of ID %1 holds a control character"},
    {3146, "ID %1 was measured %2 times: each of these datasets got the sample ID %3"},
    {3147, "not a regular file"},
    {2950, "The lab's settings fix the login name to the name of this computer account ([Trail] "
           "RequireAccountLogin)."},
    {2913, "Activit&y trail..."},
    {2914, "Activity trail"},
    {2915, "Action:"},
    {2916, "Object contains:"},
    {2917, "No."},
    {2918, "Time"},
    {2919, "Account"},
    {2920, "Login"},
    {2921, "PC"},
    {2922, "Action"},
    {2923, "Object"},
    {2924, "Details"},
    {2925, "Reason"},
    {2926, "clock went back"},
    {2927, "The PC's clock showed a time before that of the entry before: the entry keeps the time the PC "
           "gave and stays marked."},
    {2928, "%1 entries"},
    {2929, "Printed by:"},
    {2930, "%1 (account %2 on %3)"},
    {2931, "&Verify the trail..."},
    {2932, "An entry noted earlier, as SEQ:HASH from \"trail head\", is checked to be still unchanged; leave "
           "empty for none."},
    {2933, "\"%1\" is not an entry as SEQ:HASH."},
    {2934, "Verifying the trail..."},
    {2935, "%1 of %2 entries"},
    {2936, "A&nnotate..."},
    {2937, "A note for the %1 selected datasets, kept beside them and in the trail:"},
    {2938, "&Withdraw..."},
    {2939, "Why are the %1 selected datasets withdrawn? They stay in the archive, hidden unless shown."},
    {2940, "Show withdrawn datasets"},
    {2941, "Notes"},
    {2942, "Withdrawn: %1"},
    {2943, "Select the datasets first."},
    {2944, "Newest entry, to note outside the program for a later check: %1"},
    {3000, "1 point beyond an action limit (3 s)"},
    {3001, "9 in a row on one side of the centre line"},
    {3002, "6 in a row rising or falling"},
    {3003, "14 in a row alternating up and down"},
    {3004, "2 of 3 beyond a warning limit (2 s) on one side"},
    {3005, "4 of 5 beyond 1 s on one side"},
    {3006, "15 in a row within 1 s"},
    {3007, "8 in a row beyond 1 s on either side"},
    {3010, "A control sample needs a name of at most 200 characters."},
    {3011, "The value must be Value 1 or Value 2."},
    {3012, "A recovery chart needs the spiked amount, a number above 0."},
    {3013, "Limits from a target value need the target and an s above 0."},
    {3014, "A pre-period needs at least %1 values."},
    {3015, "The count after which a revision is due must be at least 1."},
    {3016, "Choose at least one test."},
    {3020, "withdrawn: not judged"},
    {3021, "outside the measuring range: not judged"},
    {3022, "no number: not judged"},
    {3023, "status %1: not judged"},
    {3024, "unit %1 instead of %2: not judged"},
    {3025, "waiting for its duplicate"},
    {3026, "pre-period: %1 of %2 values, no limits yet"},
    {3027, "Only %1 values can be judged; new limits need %2."},
    {3030, "Control sample '%1': %2 beyond the upper action limit (%3)"},
    {3031, "Control sample '%1': %2 beyond the lower action limit (%3)"},
    {3032, "Control sample '%1': %2 breaks the test '%3'"},
    {3033, "The control samples could not be judged: %1"},
    {3034, "Control sample '%1': %2 %3"},
    {3035, "Control sample '%1': %2"},
    {3036, "Control sample '%1': a revision of the limits is due (%2 values since the last limits)."},
    {3040, "&Quality control charts..."},
    {3041, "Control charts"},
    {3042, "Control sample:"},
    {3043, "New..."},
    {3044, "Change..."},
    {3045, "New limits..."},
    {3046, "Show withdrawn values"},
    {3047, "Save image..."},
    {3048, "Print..."},
    {3049, "PDF..."},
    {3050, "Date/time"},
    {3051, "Meter"},
    {3052, "Sample ID"},
    {3053, "Value"},
    {3054, "Tests broken"},
    {3055, "n = %1, mean = %2, s = %3"},
    {3056, "Period %1: centre %2, warning limits %3 to %4, action limits %5 to %6 (%7)"},
    {3057, "pre-period of %1 values"},
    {3058, "target value"},
    {3059, "revised %1 by %2 from %3 values"},
    {3060, "Violations per test: %1"},
    {3061, "No control sample is defined yet."},
    {3062, "New limits from the last how many values?"},
    {3063, "Control chart: %1"},
    {3064, "Printed %1 by %2"},
    {3065, "Centre line"},
    {3066, "Warning limits"},
    {3067, "Action limits"},
    {3068, "Values"},
    {3069, "Control sample"},
    {3070, "Name:"},
    {3071, "Meter S/N (empty: all):"},
    {3072, "Program:"},
    {3073, "Value 2 instead of Value 1"},
    {3074, "Sample ID (text or pattern with * ?):"},
    {3075, "Code column:"},
    {3076, "Chart:"},
    {3077, "Spiked amount:"},
    {3078, "Unit (empty: that of the first value):"},
    {3079, "Limits from a pre-period of N values:"},
    {3080, "Limits from a target value instead"},
    {3081, "Target value and s:"},
    {3082, "Revision due after N values:"},
    {3083, "Tests:"},
    {3084, "Action and warning limits only"},
    {3085, "ISO 7870-2 all tests"},
    {3086, "Own selection"},
    {3087, "Individual values (standard)"},
    {3088, "Blank values"},
    {3089, "Recovery in %"},
    {3090, "Range of duplicate pairs"},
    {3091, "%1\n%2 %3\nz = %4"},
    {3092, "Pre-period"},
    {3093, "A control sample is out of control."},
    {3300, "the line has %1 fields; a dataset of the meter %2 has %3"},
    {3301, "the field %1 is %2 characters long; a meter writes at most %3"},
    {3302, "the field %1 holds a control character, which no meter writes"},
    {3303, "the field %1 holds \"%2\"; a meter numbers its datasets 1 to %3"},
    {3304, "the field %1 holds \"%2\", which is no date that exists"},
    {3305, "the field %1 holds \"%2\", which is no time of day that exists"},
    {3306, "an empty line ends the datasets, yet more lines follow it"},
    {3307, "The file %1 is no regular file (a folder, a pipe or a device) and was not read."},
    {3308, "The file %1 is %2 bytes long; a measured-value file is at most %3 bytes."},
    {3094, "Name the program (the method) whose values make the chart: values of several methods in one "
           "chart give limits of none."},
    {3095, "the first %1 values are all equal (s = 0): they give no limits; define the control sample with a "
           "target value and its s"},
    {3096, "its duplicate is not judged"},
    {3097, "program %1 instead of %2: not judged"},
    {3098, "The last %1 values are all equal (s = 0): they give no limits."},
};

// The other languages' tables: one entry per line, same numbers and escapes as the English tables.
constexpr Entry kGerman[] = {
#include "texts/de.inc"
};
constexpr Entry kFrench[] = {
#include "texts/fr.inc"
};
constexpr Entry kSpanish[] = {
#include "texts/es.inc"
};

struct Language {
    const char *code;
    std::vector<Entry> entries; // sorted by number
};

template <std::size_t N> void append(std::vector<Entry> &to, const Entry (&table)[N])
{
    to.insert(to.end(), std::begin(table), std::end(table));
}

std::vector<Entry> sorted(std::vector<Entry> entries)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.number < b.number; });
    return entries;
}

// Built once; English first, so index 0 is the fallback of every other language.
const std::vector<Language> &tables()
{
    static const std::vector<Language> all = [] {
        std::vector<Entry> english;
        append(english, kTexts);
        append(english, kExtension);
        std::vector<Entry> german, french, spanish;
        append(german, kGerman);
        append(french, kFrench);
        append(spanish, kSpanish);
        return std::vector<Language>{{"en", sorted(std::move(english))},
                                     {"de", sorted(std::move(german))},
                                     {"fr", sorted(std::move(french))},
                                     {"es", sorted(std::move(spanish))}};
    }();
    return all;
}

std::atomic<int> g_language{0};

int indexOf(const QString &code)
{
    const std::vector<Language> &all = tables();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (code == QLatin1String(all[i].code))
            return int(i);
    return -1;
}

const Entry *find(const std::vector<Entry> &table, int number)
{
    const auto it = std::lower_bound(table.begin(), table.end(), number,
                                     [](const Entry &e, int n) { return e.number < n; });
    return (it != table.end() && it->number == number) ? &*it : nullptr;
}

bool lookupAt(int index, int number, QString *text)
{
    const Entry *entry = find(tables()[std::size_t(index)].entries, number);
    if (!entry && index != 0)
        entry = find(tables().front().entries, number);
    if (!entry)
        return false;
    if (text)
        *text = QString::fromUtf8(entry->text);
    return true;
}

QString textAt(int index, int number)
{
    QString result;
    if (!lookupAt(index, number, &result)) {
        QString message;
        lookupAt(index, TextTable::UnknownTextNumber, &message);
        ErrorFrame::report(message.arg(number));
    }
    return result;
}

template <std::size_t N> QList<int> numbersOf(const Entry (&table)[N])
{
    QList<int> numbers;
    numbers.reserve(qsizetype(N));
    for (const Entry &e : table)
        numbers.append(e.number);
    return numbers;
}

} // namespace

namespace TextTable {

QStringList languages()
{
    QStringList codes;
    for (const Language &language : tables())
        codes << QLatin1String(language.code);
    return codes;
}

void setLanguage(const QString &code)
{
    g_language = std::max(indexOf(code), 0);
}

QString language()
{
    return QLatin1String(tables()[std::size_t(g_language.load())].code);
}

QString chooseLanguage(const QString &configured, const QString &systemLocaleName)
{
    const QString wanted = configured.trimmed().toLower();
    if (indexOf(wanted) >= 0)
        return wanted;
    // "de_DE.UTF-8", "de-AT", "de": the part before the territory.
    static const QRegularExpression territory(QStringLiteral("[_.@-]"));
    const QString system = systemLocaleName.section(territory, 0, 0).toLower();
    if (indexOf(system) >= 0)
        return system;
    return QStringLiteral("en");
}

bool lookup(int number, QString *text)
{
    return lookupAt(g_language, number, text);
}

QString text(int number)
{
    return textAt(g_language, number);
}

QString count(qint64 n, int one, int many)
{
    const bool singular = language() == QLatin1String("fr") ? (n == 0 || n == 1) : n == 1;
    return text(singular ? one : many).arg(QLocale().toString(n));
}

QString english(int number)
{
    return textAt(0, number);
}

bool lookupIn(const QString &code, int number, QString *text)
{
    const int index = indexOf(code);
    if (index < 0)
        return false;
    const Entry *entry = find(tables()[std::size_t(index)].entries, number);
    if (entry && text)
        *text = QString::fromUtf8(entry->text);
    return entry != nullptr;
}

QList<int> numbersIn(const QString &code)
{
    QList<int> numbers;
    const int index = indexOf(code);
    if (index >= 0)
        for (const Entry &e : tables()[std::size_t(index)].entries)
            numbers.append(e.number);
    return numbers;
}

QList<int> originalNumbers()
{
    return numbersOf(kTexts);
}

QList<int> extensionNumbers()
{
    QList<int> numbers = numbersOf(kExtension);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace TextTable
