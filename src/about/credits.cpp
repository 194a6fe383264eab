#include "about/credits.h"

#include "shared/main_mod.h"

std::string CreditsText(int step, const std::string& productTitle) {
  const std::string lines[7] = {
      productTitle,
      "Version " + VersionNumber + " Dated: " + VersionDate,
      "",
      "Created by Oskerand",
      kMakerWebAddress,
      "For support send an email to:",
      kSupportEmail,
  };
  if (step < 0) step = 0;
  if (step > 6) step = 6;
  std::string text;
  for (int i = 0; i < 6 - step; ++i) text += "\r\n";
  for (int i = 0; i <= step; ++i) text += lines[i] + "\r\n";
  return text;
}
