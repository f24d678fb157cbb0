// The texts the launcher shows, as they stand.
#pragma once

namespace sfx::launcher {

inline constexpr char kTextNoTempFolder[] = "Failed to create temporary directory";
inline constexpr char kTextNoSetupInfo[] = "Failed to get setup info";
inline constexpr char kTextExtractionFailed[] = "Extraction failed!";
inline constexpr char kCaptionFormat[] = "Initializing %s...";
inline constexpr char kProgressPrefix[] = "Extracting: ";

// Captions of the extraction steps; the message text names the entry.
inline constexpr char kStepFormFolderPath[] = "Form Folder Path";
inline constexpr char kStepCreateFolder[] = "Create Folder";
inline constexpr char kStepFormFilePath[] = "Form File Path";
inline constexpr char kStepCreateInflater[] = "Create IF Error";
inline constexpr char kStepInitInput[] = "Init Input Error";
inline constexpr char kStepExtract[] = "Extract Error";
inline constexpr char kStepDestroyInflater[] = "Destroy IF Error";
inline constexpr char kStepWrite[] = "Write Error";
inline constexpr char kStepSizeMismatch[] = "Size Mismatch";
inline constexpr char kStepFileCorrupt[] = "File Corrupt";
inline constexpr char kStepClose[] = "Close Error";
inline constexpr char kStepSetFileTime[] = "Set File Time";

}  // namespace sfx::launcher
