// The user's decimal separator, as the locale of the environment gives it.
// Start-up of either front end asks once and passes the answer down; the
// program's own number formatting never depends on the C locale.
#pragma once

// The decimal separator of the environment's locale (LC_ALL, LC_NUMERIC,
// LANG; on Windows the user's regional settings): ',' or '.', and '.' for
// any other separator or an unknown locale.
// Leaves the C locale's numeric category as it was.
char UserDecimalSeparator();
