#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace orvek {

// Air as the ear model sees it (CGS): 1.15 kg/m^3 and 352 m/s are air at about 35 degC, close to
// the temperature in the ear canal.
inline constexpr double AirDensity = 0.00115;                          // g/cm^3
inline constexpr double SpeedOfSound = 35200.0;                        // cm/s
inline constexpr double AirImpedance = AirDensity * SpeedOfSound;      // rho*c = 40.48 g/(cm^2 s)
inline constexpr double AirBulkModulus = AirImpedance * SpeedOfSound;  // rho*c^2 = 1424896 dyn/cm^2

inline constexpr int ParameterLineCount = 91;
inline constexpr int PlaceCountLine = 59;  // the one integer line
inline constexpr int MaxPlaceCount = 23;   // places the cochlear results can hold
inline constexpr int CanalSectionCount = 16;

// Constants computed from the file values after every load. Masses are acoustic masses (g/cm^4),
// stiffnesses reciprocal compliances (dyn/cm^5), resistances dyn s/cm^5. "Referred" values are
// carried through the lever with T = LeverRatio^2 (masses and resistances divided by T,
// compliances multiplied by T).
struct TDerivedModelConstants {
  float LeverRatioSquared = 0.0f;  // T
  // Mass2 is Mass2A + Mass2B.
  float Mass1Referred = 0.0f, Mass2Referred = 0.0f, Mass3Referred = 0.0f;
  float InverseMass1Referred = 0.0f, InverseMass2Referred = 0.0f, InverseMass3Referred = 0.0f;
  float Resistance1Referred = 0.0f, Resistance12Referred = 0.0f, Resistance23Referred = 0.0f;
  float Resistance34Referred = 0.0f, Resistance2Referred = 0.0f;
  float Stiffness2VarReferred = 0.0f, Stiffness2FixedReferred = 0.0f;
  float Stiffness23Referred = 0.0f, Stiffness34Referred = 0.0f;
  float Stiffness4 = 0.0f, Stiffness46 = 0.0f, Stiffness5 = 0.0f, Stiffness56 = 0.0f;
  float InverseMass5 = 0.0f, InverseHeadMass = 0.0f, InverseMass4 = 0.0f, InverseMass46 = 0.0f;

  // Default protector circuit (the stiffnesses themselves replace Ccush, Cskin, Cmat in place).
  float InverseCcup = 0.0f, InverseLleak = 0.0f, InverseLcup = 0.0f;
  float InverseSkinCushionResistance = 0.0f;  // 1/(Rskin + Rcush)
  float SkinCushionStiffness = 0.0f;          // 1/Cskin + 1/Ccush

  float MuscleStiffnessIncrement = 0.0f;  // MuscleStiffnessFactor - 1
  float MuscleDampingIncrement = 0.0f;    // MuscleDampingFactor - 1
  float StapesDisplacementScale = 0.0f;   // um per cm^3 of X2: 10000 / (LeverRatio * OutputArea)
  float Ln10Over10 = 0.0f;                // dB -> power ratio exponent
  float Ln10Over20 = 0.0f;                // dB -> pressure ratio exponent

  float EntranceRadiationResistance = 0.0f;  // 2 rho c / CanalEntranceArea
  float InverseRadiationMass = 0.0f;         // 1 / (2.55 rho / sqrt(pi CanalEntranceArea))

  // Ear canal, section 0 at the eardrum end, section 15 at the entrance.
  float CanalSectionLength = 0.0f;                               // h, cm
  std::array<float, CanalSectionCount> CanalSectionVolume{};     // cm^3
  std::array<float, CanalSectionCount> CanalSectionStiffness{};  // rho c^2 / V
  std::array<float, CanalSectionCount> CanalSectionInertance{};  // rho h^2 / V
  // 2/M at the eardrum end (0), between sections i-1 and i (1..15), at the entrance (16).
  std::array<float, CanalSectionCount + 1> InverseNodeInertance{};

  // Inverse of the mass block of branches 4 and 6: a = M_section1/2 + Mass46, c = Mass46 + Mass4,
  // b = Mass46, det = a c - b^2.
  float MassBlockCOverDet = 0.0f, MassBlockAOverDet = 0.0f, MassBlockBOverDet = 0.0f;
};

// The 91 values of the model parameter file in line order, and what is derived from them.
// Units are CGS; see the shipped parameter file for what each line means.
struct TModelParameters {
  float SourceGain = 0.0f;  // line 1
  float SourceGainImag = 0.0f;
  float CanalSourceGain = 0.0f;
  float CanalSourceGainImag = 0.0f;
  float HeadResistance = 0.0f;  // line 5
  float HeadMass = 0.0f;
  float CanalUniformLength = 0.0f;  // cm
  float CanalHornLength = 0.0f;     // cm
  float CanalUniformArea = 0.0f;    // cm^2
  float CanalEntranceArea = 0.0f;   // line 10, cm^2
  float Mass5 = 0.0f;
  float Compliance5 = 0.0f;
  float Resistance5 = 0.0f;
  float Compliance56 = 0.0f;
  float Mass46 = 0.0f;  // line 15
  float Resistance46 = 0.0f;
  float Compliance46 = 0.0f;
  float Mass4 = 0.0f;
  float Compliance4 = 0.0f;
  float Resistance4 = 0.0f;  // line 20
  float LeverRatio = 0.0f;
  float Resistance34 = 0.0f;
  float Compliance34 = 0.0f;
  float Mass3 = 0.0f;
  float Resistance23 = 0.0f;  // line 25
  float Compliance23 = 0.0f;
  float Mass2A = 0.0f;
  float Mass2B = 0.0f;
  float Mass1 = 0.0f;
  float Resistance2 = 0.0f;  // line 30
  float Resistance12 = 0.0f;
  float Resistance1 = 0.0f;
  float Compliance2Var = 0.0f;
  float Compliance2Fixed = 0.0f;
  float OutputArea = 0.0f;   // line 35, cm^2
  float NonlinScale = 0.0f;  // um
  float NonlinRest = 0.0f;
  float NonlinLimit = 0.0f;
  float NonlinDampingSlope = 0.0f;
  float BmStiffness = 0.0f;  // line 40
  float BmMass = 0.0f;
  float UnusedLine42 = 0.0f;
  float WkbFactorA = 0.0f;
  float WkbFactorB = 0.0f;
  float BaseFrequency = 0.0f;  // line 45, Hz
  float DampingNumerator = 0.0f;
  float WkbLengthA = 0.0f;
  float WkbLengthB = 0.0f;
  float UnusedLine49 = 0.0f;
  float UnusedLine50 = 0.0f;  // line 50
  float UnusedLine51 = 0.0f;
  float PlaceLengthConstant = 0.0f;  // cm
  float WkbGainAlt = 0.0f;
  float DampingDivisor = 0.0f;
  float HazardExponent = 0.0f;  // line 55
  float ReferencePlace = 0.0f;  // cm
  float FirstPlace = 0.0f;      // cm
  float LastPlace = 0.0f;       // cm
  std::int32_t PlaceCount = 0;
  float HazardGain = 0.0f;  // line 60
  float HazardGainRatio = 0.0f;
  float HazardThreshold = 0.0f;
  float UnwarnedOnsetDelay = 0.0f;     // s
  float MuscleTimeConstant = 0.0f;     // s
  float MuscleStiffnessFactor = 0.0f;  // line 65, raised by 0.001 on load
  float MuscleDampingFactor = 0.0f;    // raised by 0.001 on load
  float SubstepDivisor = 0.0f;
  float WkbAmplitude = 0.0f;
  float WkbDecayRate = 0.0f;  // 1/cm
  float WkbMode = 0.0f;       // line 70
  float UnusedLine71 = 0.0f;
  float UnusedLine72 = 0.0f;
  float UnusedLine73 = 0.0f;
  float UnusedLine74 = 0.0f;
  float UnusedLine75 = 0.0f;  // line 75
  float UnusedLine76 = 0.0f;
  float UnusedLine77 = 0.0f;
  float UnusedLine78 = 0.0f;
  float UnusedLine79 = 0.0f;
  float ReflectionMode = 0.0f;  // line 80
  // Default protector circuit; after loading, the compliances Ccush, Cskin and Cmat are held as
  // their stiffnesses 1/C.
  float ProtectorValue1 = 0.0f;   // Ccush
  float ProtectorValue2 = 0.0f;   // Rcush
  float ProtectorValue3 = 0.0f;   // Cskin
  float ProtectorValue4 = 0.0f;   // Rskin
  float ProtectorValue5 = 0.0f;   // line 85, Lleak
  float ProtectorValue6 = 0.0f;   // Rleak
  float ProtectorValue7 = 0.0f;   // Lcup
  float ProtectorValue8 = 0.0f;   // Ccup
  float ProtectorValue9 = 0.0f;   // Rmat
  float ProtectorValue10 = 0.0f;  // line 90, Lmat
  float ProtectorValue11 = 0.0f;  // Cmat

  TDerivedModelConstants Derived;

  // The file the values came from; named in the messages of DeriveModelConstants.
  std::filesystem::path Source;
};

// Line (1-based) of the parameter file that holds the field `name` ("HazardGain"), 0 for none.
int ParameterLine(std::string_view name);

// Reads the pointer file: the first at most 12 characters of line 1, blanks trimmed, name the
// parameter file; line 2 is ignored. Throws OrvekError when the file cannot be read or names
// nothing.
std::string ReadManFig(const std::filesystem::path& manFig);

// Reads the 91 lines of a parameter file (one leading number per line, anything after it ignored;
// line 59 a whole number of 1 to MaxPlaceCount places), checks every value against the physical
// range of its line (README.md lists them), raises the two muscle factors by 0.001 and derives the
// referred branch values and the protector defaults. The window and the command line both load
// through here. Throws OrvekError naming the file and line on a missing or short file, a line
// without a usable number, a value outside its range (with the value and the range) or a value
// the model would divide by zero; `p` is then left unchanged.
void LoadModelParameters(const std::filesystem::path& path, TModelParameters& p);

// Derives the remaining run-time constants (muscle increments, output scale, radiation, canal
// sections, node inertances, the 4-6 mass block) from loaded values. Throws OrvekError naming
// p.Source and the responsible field and line when a value is zero where the model divides by it
// or a constant comes out non-finite; `p` is then left unchanged.
void DeriveModelConstants(TModelParameters& p);

}  // namespace orvek
