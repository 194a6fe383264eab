# The sliding tiers at frozen instants: captions and x positions of every cell, in 24- and
# 12-hour display. Expected values are computed here from the tier rules with date(1) and awk;
# the program's clock is frozen with faketime (UTC, English names).
#
# Lefts are in twips (15 per pixel at 96 dpi); a cell's x in pixels, relative to the client
# area, is round(Left / 15).

# Instants chosen so that second, minute, hour and day differ from one another, with wrap-arounds
# (second 0, midnight ahead, month and year ends, a leap day, noon for PM) and 30-, 31- and
# 29-day months.
TIER_INSTANTS=(
  "2008-02-29 23:59:58"
  "2009-12-31 13:05:07"
  "2010-11-09 04:06:00"
  "2012-03-10 12:30:45"
)

# expected_cells 'YYYY-MM-DD hh:mm:ss' FORMAT: one line per cell, "tier<TAB>role<TAB>caption<TAB>x"
# (x "-" where no position rule applies). FORMAT 1 = 24-hour, 0 = 12-hour.
expected_cells() {
  local when=$1 format=$2 Y M D h m s doy mdays k
  read -r Y M D h m s doy <<<"$(date -u -d "$when" '+%Y %-m %-d %-H %-M %-S %-j')"
  mdays=$(date -u -d "$Y-$M-01 +1 month -1 day" '+%-d')
  local days=() wdays=() months=() noon
  noon=$(date -u -d "$Y-$M-$D 12:00:00" '+%s')   # seconds since 1970; UTC has no DST jumps
  for k in 0 1 2 3 4; do
    days+=("$(date -u -d "@$((noon + (k - 2) * 86400))" '+%-d')")
    wdays+=("$(date -u -d "@$((noon + (k - 2) * 86400))" '+%A')")
  done
  for k in 0 1 2 3; do
    local mi=$((M + k - 1)) yi=$Y
    ((mi < 1)) && { mi=$((mi + 12)); yi=$((yi - 1)); }
    ((mi > 12)) && { mi=$((mi - 12)); yi=$((yi + 1)); }
    months+=("$(date -u -d "$yi-$mi-01" '+%b')")
  done
  awk -v Y="$Y" -v D="$D" -v h="$h" -v m="$m" -v s="$s" -v doy="$doy" -v mdays="$mdays" \
    -v format="$format" -v days="${days[*]}" -v wdays="${wdays[*]}" -v months="${months[*]}" '
    function mod(a, n) { return ((a % n) + n) % n }
    # Pixels from twips, rounded; a value within 0.01 px of a tie would make the instant a
    # bad choice, so it is flagged instead of guessed.
    function px(left,   v, f) {
      v = left / 15
      f = v - int(v); if (f < 0) f += 1
      if (f > 0.49 && f < 0.51) return "tie(" v ")"
      return (v >= 0) ? int(v + 0.5) : -int(-v + 0.5)
    }
    function hour12(x) { return x == 0 ? 12 : (x > 12 ? x - 12 : x) }
    BEGIN {
      split(days, dd, " "); split(wdays, wd, " "); split(months, mo, " ")
      for (k = 0; k < 5; k++) {
        cap = (k <= 2) ? mod(s + k - 1, 60) : ""
        printf "Sec\tSec(%d)\t%s\t-\n", k, cap
      }
      for (k = 0; k < 5; k++)
        printf "Min\tMin(%d)\t%d\t%s\n", k, mod(m + k - 2, 60), px(2250 + (k - 2) * 600 - 10 * s)
      for (k = 0; k < 5; k++) {
        hh = mod(h + k - 2, 24)
        printf "Hours\tHours(%d)\t%d\t%s\n", k, (format == 1 ? hh : hour12(hh)),
          px(2250 + (k - 2) * 900 - 15 * m)
      }
      for (k = 0; k < 5; k++)
        printf "Daywk\tDaywk(%d)\t%s\t%s\n", k, dd[k + 1], px(2250 + (k - 2) * 720 - 0.5 * (60 * h + m))
      for (k = 0; k < 5; k++)
        printf "NumDay\tNumDay(%d)\t%s\t%s\n", k, wd[k + 1], px(2250 + (k - 2) * 1440 - (60 * h + m))
      step = (mdays == 31) ? 38.7 : (mdays == 30) ? 40 : 42.85
      for (k = 0; k < 4; k++)
        printf "Mnth\tMnth(%d)\t%s\t%s\n", k, mo[k + 1], px(2250 + (k - 1) * 1800 - D * step)
      for (k = 0; k < 3; k++)
        printf "Yr\tYr(%d)\t%d\t%s\n", k, Y + k - 1, px(2250 + (k - 1) * 2190 - 6 * doy)
      printf "Label1\tLabel1\t%s\t-\n", (format == 1 ? "MIL" : (h < 12 ? "AM" : "PM"))
    }'
}

# tier_line CELLS_FILE EXPECTED_FILE TIER: "role=caption@x ..." of one tier, expected and actual
# side by side (x left out where the expectation has none).
tier_line() {
  awk -F'\t' -v tier="$3" '
    NR == FNR { if ($1 == tier) { order[++n] = $2; wantx[$2] = $4 } next }
    { cap[$1] = $2; x[$1] = $3; seen[$1] = 1 }
    END {
      for (i = 1; i <= n; i++) {
        r = order[i]
        if (!(r in seen)) { printf "%s=MISSING ", r; continue }
        printf "%s=\"%s\"%s ", r, cap[r], (wantx[r] == "-" ? "" : "@" x[r])
      }
    }' "$2" "$1"
}

want_line() {
  awk -F'\t' -v tier="$2" '$1 == tier {
      printf "%s=\"%s\"%s ", $2, $3, ($4 == "-" ? "" : "@" $4) }' "$1"
}

# case_tiers 'YYYY-MM-DD hh:mm:ss' FORMAT [FORMAT_LINE]: FORMAT_LINE overrides how the format is
# stored (it must still mean FORMAT).
case_tiers() {
  local when=$1 format=$2 line=${3:-"\"Format\"=dword:0000000$2"} label
  label=$([[ "$format" == 1 ]] && echo 24-hour || echo 12-hour)
  [[ -n "${3:-}" ]] && label+=" from $3"
  local t="tiers at $when, $label $WM_TAG"
  new_env
  write_settings "$line" '"Position"=dword:00000001'
  local want="$ENV_DIR/want.tsv" got="$ENV_DIR/cells.tsv"
  expected_cells "$when" "$format" >"$want"
  start_clock_at "$when"
  local clock client sec1
  if ! clock=$(wait_clock 5000) || ! client=$(client_of "$clock") || [[ -z "$client" ]]; then
    not_ok "$t: clock shown" "no viewable clock within 5 s ($(head -c 300 "$ENV_DIR/clock.err"))"
    stop "$CLOCK_PID"
    return
  fi
  # The first pass of the tiers may land just after the window shows: wait for the frozen second.
  sec1=$(awk -F'\t' '$2 == "Sec(1)" { print $3 }' "$want")
  sec1_is() { [[ "$("$XPROBE" child "$client" "Sec(1)" | cut -d' ' -f6-)" == "$sec1" ]]; }
  wait_for 3000 sec1_is
  cells "$client" >"$got"
  local tier
  for tier in Sec Min Hours Daywk NumDay Mnth Yr Label1; do
    check "$t: $tier" "$(want_line "$want" "$tier")" "$(tier_line "$got" "$want" "$tier")"
  done
  stop "$CLOCK_PID"
  unset -f sec1_is
}

group_tiers() {
  local when
  for when in "${TIER_INSTANTS[@]}"; do
    case_tiers "$when" 1
    case_tiers "$when" 0
  done
  # hex(4) with 4 bytes is a REG_DWORD too.
  case_tiers "2010-11-09 04:06:00" 0 '"Format"=hex(4):00,00,00,00'
  case_tiers "2010-11-09 04:06:00" 1 '"Format"=hex(4):01,00,00,00'
}
