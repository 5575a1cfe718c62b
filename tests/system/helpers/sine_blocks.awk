# Fits a sine of known frequency on a decoded signal, block by block.
# Input: one sample (16-bit integer) per line; a line "#" starts the next
# file, whose samples follow the previous file's without a break in the
# sample index. Variables: freq, rate (Hz).
#
# Blocks of 1200 samples hold 11 whole periods of 440 Hz at 48000 Hz, so the
# sine and cosine parts of each block are fitted exactly. With the sample
# index running on over all files, a continuous tone keeps one phase in every
# block; one sample lost or doubled anywhere moves the phase of every later
# block by 2*pi*freq/rate (0.058 rad at 440 Hz, 48000 Hz).
#
# Output, one line of key=value pairs:
#   samples, files, join (index of the second file's first sample, -1 if one file),
#   blocks, tone_blocks (blocks where the tone holds 90 % of the energy and is
#   above -40 dBFS), amp_min, amp_max (tone amplitude over all blocks),
#   phase_dev (largest phase distance from the first block, rad), phase_dev_at
#   (first sample of that block), res_max (largest residual RMS), res_at.
BEGIN {
  pi = atan2(0, -1)
  w = 2 * pi * freq / rate
  B = 1200
  n = 0; m = 0; nb = 0; files = 0; join = -1
  s = c = e = 0
}
/^#/ {
  files++
  if (files == 2) join = n
  next
}
{
  x = $1 + 0
  s += x * sin(w * n); c += x * cos(w * n); e += x * x
  n++; m++
  if (m == B) {
    a = 2 * s / B; b = 2 * c / B
    amp[nb] = sqrt(a * a + b * b)
    ph[nb] = atan2(b, a)
    r = e - B * (a * a + b * b) / 2
    if (r < 0) r = 0
    res[nb] = sqrt(r / B)
    frac[nb] = e > 0 ? (B * (a * a + b * b) / 2) / e : 0
    start[nb] = n - B
    nb++
    s = c = e = 0; m = 0
  }
}
END {
  tone = 0; dev = 0; devat = -1; resmax = 0; resat = -1
  ampmin = nb ? amp[0] : 0; ampmax = ampmin
  for (k = 0; k < nb; k++) {
    if (frac[k] >= 0.9 && amp[k] >= 328) tone++
    if (amp[k] < ampmin) ampmin = amp[k]
    if (amp[k] > ampmax) ampmax = amp[k]
    d = ph[k] - ph[0]
    while (d > pi) d -= 2 * pi
    while (d < -pi) d += 2 * pi
    if (d < 0) d = -d
    if (d > dev) { dev = d; devat = start[k] }
    if (res[k] > resmax) { resmax = res[k]; resat = start[k] }
  }
  printf "samples=%d files=%d join=%d blocks=%d tone_blocks=%d amp_min=%.0f amp_max=%.0f ", n, files, join, nb, tone, ampmin, ampmax
  printf "phase_dev=%.5f phase_dev_at=%d res_max=%.2f res_at=%d\n", dev, devat, resmax, resat
}
