#pragma once
// Every id of the dialogs' resources: templates, controls, bitmaps and strings. Control ids
// are unique within their dialog only; a control's tooltip string has the control's id.

#include "framework/StandardIds.h"

namespace vel::res {

using fw::kIdCancel;
using fw::kIdOk;
using fw::kIdStatic;

// Dialog templates.
inline constexpr int kSettingsDialog = 2000;
inline constexpr int kAboutDialog = 2003;
inline constexpr int kProgressDialog = 2007;

// Bitmaps.
inline constexpr int kAboutButtonBitmap = 2002;
inline constexpr int kAboutPictureBitmap = 2004;
inline constexpr int kZoomBitmap = 2005;

// Controls of the settings dialog.
inline constexpr int kSettingsPreset = 2000;
inline constexpr int kSettingsLumaThresholdSlider = 2001;
inline constexpr int kSettingsLumaThresholdEdit = 2002;
inline constexpr int kSettingsChromaThresholdSlider = 2003;
inline constexpr int kSettingsChromaThresholdEdit = 2004;
inline constexpr int kSettingsAbout = 2005;
inline constexpr int kSettingsLumaSuppressionSlider = 2006;
inline constexpr int kSettingsLumaSuppressionEdit = 2007;
inline constexpr int kSettingsChromaSuppressionSlider = 2008;
inline constexpr int kSettingsChromaSuppressionEdit = 2009;
inline constexpr int kSettingsPreviewStatus = 2010;
inline constexpr int kSettingsLightCorrectionSlider = 2011;
inline constexpr int kSettingsLightCorrectionEdit = 2012;
inline constexpr int kSettingsDarkCorrectionSlider = 2013;
inline constexpr int kSettingsHighQuality = 2014;
inline constexpr int kSettingsLinkLumaChroma = 2015;
inline constexpr int kSettingsDarkCorrectionEdit = 2016;
inline constexpr int kSettingsReanalyzeWhole = 2017;
inline constexpr int kSettingsEstimateBar = 2020;
inline constexpr int kSettingsZoom = 2021;
inline constexpr int kSettingsEstimateLabel = 2022;

// Controls of the about box.
inline constexpr int kAboutPicture = 2006;
inline constexpr int kAboutLink = 2008;

// Controls of the progress window.
inline constexpr int kProgressBar = 2011;
inline constexpr int kProgressStatus = 2012;
inline constexpr int kProgressPercent = 2013;

}  // namespace vel::res
