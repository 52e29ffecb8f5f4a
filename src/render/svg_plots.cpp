#include "render/svg_plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/numeric_text.h"

namespace velkor {

namespace {

const char* const kColours[] = {"#1f5fbf", "#d0471c", "#2a8a3a", "#8a3ab0", "#b08a00", "#0090a0", "#a02060", "#505050"};

const char* colour(std::size_t k) { return kColours[k % (sizeof kColours / sizeof kColours[0])]; }

std::string fixed(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// A drawing area: data coordinates to SVG coordinates.
struct Panel {
  double left, top, width, height;
  double xMin, xMax, yMin, yMax;  // x in the axis's units (log10 of Hz for Bode)
  double x(double value) const { return left + (value - xMin) / (xMax - xMin) * width; }
  double y(double value) const { return top + (yMax - value) / (yMax - yMin) * height; }
};

// A step of 1, 2 or 5 times a power of ten giving about `wanted` intervals.
double niceStep(double span, int wanted) {
  double raw = span / wanted;
  double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * magnitude >= raw) return m * magnitude;
  return 10 * magnitude;
}

// Finite range of the values, widened to whole steps; [-1, 1] if none.
void niceRange(const std::vector<const std::vector<long double>*>& series, double& low, double& high, double& step) {
  low = INFINITY;
  high = -INFINITY;
  for (const auto* values : series)
    for (long double v : *values)
      if (std::isfinite(v)) {
        low = std::min(low, static_cast<double>(v));
        high = std::max(high, static_cast<double>(v));
      }
  if (!std::isfinite(low)) low = -1, high = 1;
  if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) low -= 1, high += 1;
  step = niceStep(high - low, 6);
  low = std::floor(low / step) * step;
  high = std::ceil(high / step) * step;
}

std::string line(double x1, double y1, double x2, double y2, const char* cls) {
  return "<line class=\"" + std::string(cls) + "\" x1=\"" + fixed(x1) + "\" y1=\"" + fixed(y1) + "\" x2=\"" +
         fixed(x2) + "\" y2=\"" + fixed(y2) + "\"/>\n";
}

std::string text(double x, double y, const std::string& content, const char* anchor, const char* extra = "") {
  return "<text x=\"" + fixed(x) + "\" y=\"" + fixed(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
         escapeXml(content) + "</text>\n";
}

std::string header(int width, int height, const std::string& title) {
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(width) + " " +
                    std::to_string(height) + "\" width=\"" + std::to_string(width) + "\" height=\"" +
                    std::to_string(height) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
  svg += "<title>" + escapeXml(title) + "</title>\n";
  svg += "<style>.grid{stroke:#d8d8d8;stroke-width:1}.minor{stroke:#eeeeee;stroke-width:1}"
         ".frame{fill:none;stroke:#404040;stroke-width:1}.axis{stroke:#404040;stroke-width:1}"
         ".curve{fill:none;stroke-width:2;stroke-linejoin:round}</style>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += text(width / 2.0, 22, title, "middle", " font-size=\"15\" font-weight=\"bold\"");
  return svg;
}

// Horizontal grid lines and labels of a linear y axis, and the axis title.
std::string yAxis(const Panel& p, double step, const std::string& label) {
  std::string svg;
  for (double v = p.yMin; v <= p.yMax + step * 1e-6; v += step) {
    double y = p.y(v);
    svg += line(p.left, y, p.left + p.width, y, "grid");
    svg += text(p.left - 6, y + 4, formatNumber(std::fabs(v) < step * 1e-9 ? 0 : v, 4), "end");
  }
  double cy = p.top + p.height / 2;
  svg += "<text x=\"16\" y=\"" + fixed(cy) + "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + fixed(cy) +
         ")\">" + escapeXml(label) + "</text>\n";
  return svg;
}

// Decade lines (labelled when `labels`) and the lines of 2..9 between them.
std::string logXGrid(const Panel& p, bool labels) {
  std::string svg;
  for (double decade = std::floor(p.xMin); decade <= p.xMax + 1e-9; ++decade) {
    for (int m = 2; m <= 9; ++m) {
      double x = decade + std::log10(static_cast<double>(m));
      if (x > p.xMin && x < p.xMax) svg += line(p.x(x), p.top, p.x(x), p.top + p.height, "minor");
    }
    if (decade < p.xMin - 1e-9) continue;
    svg += line(p.x(decade), p.top, p.x(decade), p.top + p.height, "grid");
    if (labels) svg += text(p.x(decade), p.top + p.height + 16, siLabel(std::pow(10.0L, decade)), "middle");
  }
  return svg;
}

// A polyline broken where values are not finite.
// A dashed one (an approximation) lets the curve it follows show through.
std::string curve(const Panel& p, const std::vector<long double>& logF, const std::vector<long double>& values,
                  const char* stroke, bool dashed) {
  std::string svg, points;
  const std::string style = std::string("\" stroke=\"") + stroke + (dashed ? "\" stroke-dasharray=\"7 5" : "");
  int count = 0;
  auto flush = [&] {
    if (count > 1) svg += "<polyline class=\"curve" + style + "\" points=\"" + points + "\"/>\n";
    points.clear();
    count = 0;
  };
  for (std::size_t k = 0; k < values.size() && k < logF.size(); ++k) {
    if (!std::isfinite(values[k])) {
      flush();
      continue;
    }
    double y = std::clamp(p.y(static_cast<double>(values[k])), p.top, p.top + p.height);
    if (count > 0) points += ' ';
    points += fixed(p.x(static_cast<double>(logF[k]))) + "," + fixed(y);
    ++count;
  }
  flush();
  return svg;
}

// `dashed` (when not empty) says which entries are dashed curves.
std::string legend(double left, double top, const std::vector<std::string>& names,
                   const std::vector<bool>& dashed = {}) {
  std::string svg;
  double x = left;
  for (std::size_t k = 0; k < names.size(); ++k) {
    svg += "<line x1=\"" + fixed(x) + "\" y1=\"" + fixed(top) + "\" x2=\"" + fixed(x + 24) + "\" y2=\"" + fixed(top) +
           "\" stroke=\"" + colour(k) + "\" stroke-width=\"3\"" +
           (k < dashed.size() && dashed[k] ? " stroke-dasharray=\"7 5\"" : "") + "/>\n";
    svg += text(x + 30, top + 4, names[k], "start");
    x += 44 + 7.5 * static_cast<double>(names[k].size());
  }
  return svg;
}

}  // namespace

std::string escapeXml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string siLabel(long double value) {
  static const char* const prefixes[] = {"f", "p", "n", "\u00b5", "m", "", "k", "M", "G", "T"};
  if (value == 0 || !std::isfinite(value)) return formatNumber(value);
  int group = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3 + 1e-9));
  group = std::clamp(group, -5, 4);
  long double scaled = value / std::pow(1000.0L, group);
  return formatNumber(scaled, 3) + prefixes[group + 5];
}

std::string bodeSvg(const std::vector<long double>& frequenciesHz, const std::vector<FrequencyResponse>& responses,
                    const std::string& title) {
  const int width = 800, height = 640;
  std::vector<long double> logF;
  for (long double f : frequenciesHz) logF.push_back(std::log10(f));
  double xMin = logF.empty() ? 0 : static_cast<double>(logF.front());
  double xMax = logF.empty() ? 1 : static_cast<double>(logF.back());
  if (xMax <= xMin) xMax = xMin + 1;

  std::vector<const std::vector<long double>*> magnitudes, phases;
  for (const FrequencyResponse& r : responses) {
    magnitudes.push_back(&r.magnitudeDb);
    phases.push_back(&r.phaseDeg);
  }
  double magLow, magHigh, magStep, phaseLow, phaseHigh, phaseStep;
  niceRange(magnitudes, magLow, magHigh, magStep);
  niceRange(phases, phaseLow, phaseHigh, phaseStep);

  Panel magnitude{80, 40, 690, 230, xMin, xMax, magLow, magHigh};
  Panel phase{80, 320, 690, 230, xMin, xMax, phaseLow, phaseHigh};
  std::string svg = header(width, height, title);
  for (const auto& [panel, step, label] : {std::tuple{&magnitude, magStep, "magnitude (dB)"},
                                          std::tuple{&phase, phaseStep, "phase (degrees)"}}) {
    svg += std::string("<g class=\"") + (panel == &magnitude ? "magnitude" : "phase") + "\">\n";
    svg += logXGrid(*panel, true);
    svg += yAxis(*panel, step, label);
    svg += "<rect class=\"frame\" x=\"" + fixed(panel->left) + "\" y=\"" + fixed(panel->top) + "\" width=\"" +
           fixed(panel->width) + "\" height=\"" + fixed(panel->height) + "\"/>\n";
    for (std::size_t k = 0; k < responses.size(); ++k)
      svg += curve(*panel, logF, panel == &magnitude ? responses[k].magnitudeDb : responses[k].phaseDeg, colour(k),
                   responses[k].approximated);
    svg += "</g>\n";
  }
  svg += text(80 + 345, 590, "frequency (Hz)", "middle");
  std::vector<std::string> names;
  std::vector<bool> dashed;
  for (const FrequencyResponse& r : responses) {
    names.push_back(r.name);
    dashed.push_back(r.approximated);
  }
  svg += legend(80, 620, names, dashed);
  svg += "</svg>\n";
  return svg;
}

std::string poleZeroSvg(const std::vector<PoleZeroSet>& sets, const std::string& title) {
  const int width = 640, height = 640;
  // A square window around every reliable root and the origin.
  double extent = 0;
  for (const PoleZeroSet& set : sets)
    for (const auto* roots : {&set.zeros, &set.poles})
      for (const PolynomialRoot& root : *roots)
        if (root.reliable && std::isfinite(std::abs(root.value)))
          extent = std::max({extent, std::fabs(static_cast<double>(root.value.real())),
                             std::fabs(static_cast<double>(root.value.imag()))});
  if (extent == 0) extent = 1;
  double step = niceStep(2 * extent * 1.1, 6);
  double limit = std::ceil(extent * 1.1 / step) * step;
  Panel p{90, 40, 510, 510, -limit, limit, -limit, limit};

  std::string svg = header(width, height, title);
  svg += "<g class=\"plane\">\n";
  for (double v = -limit; v <= limit + step * 1e-6; v += step) {
    double value = std::fabs(v) < step * 1e-9 ? 0 : v;
    svg += line(p.x(value), p.top, p.x(value), p.top + p.height, "grid");
    svg += line(p.left, p.y(value), p.left + p.width, p.y(value), "grid");
    svg += text(p.x(value), p.top + p.height + 16, siLabel(value), "middle");
    svg += text(p.left - 6, p.y(value) + 4, siLabel(value), "end");
  }
  svg += line(p.x(0), p.top, p.x(0), p.top + p.height, "axis");
  svg += line(p.left, p.y(0), p.left + p.width, p.y(0), "axis");
  svg += "<rect class=\"frame\" x=\"" + fixed(p.left) + "\" y=\"" + fixed(p.top) + "\" width=\"" + fixed(p.width) +
         "\" height=\"" + fixed(p.height) + "\"/>\n";
  for (std::size_t k = 0; k < sets.size(); ++k) {
    for (const PolynomialRoot& root : sets[k].poles) {
      if (!root.reliable) continue;
      double x = p.x(static_cast<double>(root.value.real())), y = p.y(static_cast<double>(root.value.imag()));
      svg += "<path d=\"M" + fixed(x - 6) + " " + fixed(y - 6) + "L" + fixed(x + 6) + " " + fixed(y + 6) + "M" +
             fixed(x - 6) + " " + fixed(y + 6) + "L" + fixed(x + 6) + " " + fixed(y - 6) + "\" stroke=\"" +
             colour(k) + "\" stroke-width=\"2.5\" fill=\"none\"/>\n";
    }
    for (const PolynomialRoot& root : sets[k].zeros) {
      if (!root.reliable) continue;
      svg += "<circle cx=\"" + fixed(p.x(static_cast<double>(root.value.real()))) + "\" cy=\"" +
             fixed(p.y(static_cast<double>(root.value.imag()))) + "\" r=\"6\" stroke=\"" + colour(k) +
             "\" stroke-width=\"2.5\" fill=\"none\"/>\n";
    }
  }
  svg += "</g>\n";
  svg += text(p.left + p.width / 2, p.top + p.height + 36, "real part (rad/s)", "middle");
  double cy = p.top + p.height / 2;
  svg += "<text x=\"16\" y=\"" + fixed(cy) + "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + fixed(cy) +
         ")\">imaginary part (rad/s)</text>\n";
  std::vector<std::string> names;
  for (const PoleZeroSet& set : sets) names.push_back(set.name);
  svg += text(p.left, 622, "\u00d7 pole   \u25cb zero", "start");
  svg += legend(p.left + 130, 618, names);
  svg += "</svg>\n";
  return svg;
}

}  // namespace velkor
