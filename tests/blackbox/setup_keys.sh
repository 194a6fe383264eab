# The Setup dialog from the keyboard, one table for both black-box suites: the X11 one
# (dialogs.sh) and the Windows one under Wine (tests/windows/cases.sh). Each suite finds the
# controls its own way and walks the same rows.
#
# The dialog opens with the focus on "Marker ON" and Space ticks it. Tab walks the tab order,
# visiting the option group once, at its chosen option's own place (the centre's comes after
# About); Shift+Tab walks back; an arrow moves the choice; Escape does nothing (Setup has no
# Cancel, so it stays open with the focus where it was); Enter on Apply applies.
#
# A row: the stored Position ("-": none, as after a first start, which chooses the centre) | the
# keys after Space, each with the control it leaves the focus on, by caption ("spot N": the
# option button of Position N, which shows no text) | the Position Apply stores.
SETUP_KEY_ROWS=(
  '3|Tab:Military Time,Escape:Military Time,Tab:spot 3,Right:spot 4,Tab:Apply|4'
  '-|Tab:Military Time,Tab:Apply,Tab:About,Tab:spot 0,shift+Tab:About,shift+Tab:Apply|0'
)

# The option buttons' Positions in their order on the screen, row by row: 1 2 3 / 0 / 4 5 6.
SPOT_ORDER=(1 2 3 0 4 5 6)

# spot_rank N: where Position N's button comes in that order, from 1.
spot_rank() {
  local k
  for k in "${!SPOT_ORDER[@]}"; do
    [[ ${SPOT_ORDER[k]} == "$1" ]] && { echo $((k + 1)); return; }
  done
  return 1
}

# setup_key_row ROW: splits a row into KEY_POS, KEY_STEPS (an array of KEY:CONTROL) and KEY_WANT.
setup_key_row() {
  local steps
  IFS='|' read -r KEY_POS steps KEY_WANT <<<"$1"
  IFS=, read -ra KEY_STEPS <<<"$steps"
}
