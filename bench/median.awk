# The median of a list of numbers separated by spaces, for the benchmark scripts' summaries.
function median(list,   n, v, i, j, t) {
  n = split(list, v, " ")
  for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
  return (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
