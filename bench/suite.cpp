#include "suite.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace velkor::bench {

namespace {

// Collects the entries of one netlist.
class Netlist {
 public:
  explicit Netlist(const std::string& comment) : text_("{" + comment + "}\n") {}

  void one(const std::string& name, int a, int b) {
    text_ += name + " " + std::to_string(a) + " " + std::to_string(b) + "\n";
  }
  void two(const std::string& name, int outPlus, int outMinus, int inPlus, int inMinus) {
    text_ += name + " " + std::to_string(outPlus) + " " + std::to_string(outMinus) + " " +
             std::to_string(inPlus) + " " + std::to_string(inMinus) + "\n";
  }
  void port(int p1, int m1, int p2, int m2) { two("f", p1, m1, p2, m2); }
  // Requests the named parameters; an empty list leaves every one of the 32.
  void request(const std::vector<std::string>& names) {
    for (const std::string& name : names) text_ += "p " + name + "\n";
    requested_ = names.empty() ? 32 : static_cast<int>(names.size());
  }

  Circuit finish(std::string name) {
    Circuit circuit;
    circuit.name = std::move(name);
    circuit.netlist = text_ + "end\n";
    circuit.requestedCount = requested_;
    return circuit;
  }

 private:
  std::string text_;
  int requested_ = 32;
};

std::string numbered(const char* prefix, int k) { return prefix + std::to_string(k); }

// n sections of series resistor and shunt capacitor; port 1 at the input,
// port 2 across the last capacitor.
Circuit rcLadder(int n) {
  Netlist net("RC ladder low-pass of " + std::to_string(n) + " sections: voltage transfer and input admittance");
  for (int k = 1; k <= n; ++k) {
    net.one(numbered("r", k), k, k + 1);
    net.one(numbered("c", k), k + 1, 0);
  }
  net.port(1, 0, n + 1, 0);
  net.request({"g21", "y11"});
  Circuit c = net.finish("rc_ladder_" + std::to_string(n));
  c.passive = c.ladder = true;
  return c;
}

// Doubly terminated LC low-pass of n reactive elements, shunt capacitor
// first, alternating with series inductors.
Circuit lcLadder(int n) {
  Netlist net("doubly terminated LC ladder low-pass of order " + std::to_string(n) +
              ": voltage transfer and input impedance");
  net.one("rs", 1, 2);
  int node = 2;
  for (int k = 1; k <= n; ++k) {
    if (k % 2 == 1) {
      net.one(numbered("c", k), node, 0);
    } else {
      net.one(numbered("l", k), node, node + 1);
      ++node;
    }
  }
  net.one("rl", node, 0);
  net.port(1, 0, node, 0);
  net.request({"g21", "z11"});
  Circuit c = net.finish("lc_ladder_" + std::to_string(n));
  c.passive = c.ladder = true;
  return c;
}

// Two-integrator loop with an inverting damped integrator, a lossless
// integrator and an inverter; band-pass at node 3, low-pass at node 5.
Circuit towThomas() {
  Netlist net("Tow-Thomas biquad, all two-port parameters from the input to the low-pass output");
  net.one("rin", 1, 2);
  net.one("rq", 2, 3);
  net.one("c1", 2, 3);
  net.one("r2", 3, 4);
  net.one("c2", 4, 5);
  net.one("r3", 5, 6);
  net.one("r4", 6, 7);
  net.one("rf", 7, 2);
  net.two("o1", 3, 0, 0, 2);
  net.two("o2", 5, 0, 0, 4);
  net.two("o3", 7, 0, 0, 6);
  net.port(1, 0, 5, 0);
  net.request({});
  return net.finish("tow_thomas");
}

// Kerwin-Huelsman-Newcomb state-variable filter: a summing amplifier
// (high-pass output 2) and two inverting integrators (band-pass 5, low-pass 7).
Circuit stateVariable() {
  Netlist net("KHN state-variable filter, all two-port parameters from the input to the low-pass output");
  net.one("r1", 1, 3);   // input to the summer's inverting input
  net.one("rf", 2, 3);   // summer feedback
  net.one("r5", 7, 3);   // low-pass fed back
  net.one("r2", 5, 4);   // band-pass fed back to the non-inverting input
  net.one("r3", 4, 0);
  net.two("o1", 2, 0, 4, 3);
  net.one("ri1", 2, 6);
  net.one("ci1", 6, 5);
  net.two("o2", 5, 0, 0, 6);
  net.one("ri2", 5, 8);
  net.one("ci2", 8, 7);
  net.two("o3", 7, 0, 0, 8);
  net.port(1, 0, 7, 0);
  net.request({});
  return net.finish("khn_state_variable");
}

// Fifth-order all-pole leapfrog: five inverting integrators whose outputs
// alternate in sign, inverters in the feedback paths, resistive terminations
// across the first and last integrator.
Circuit leapfrog5() {
  Netlist net("fifth-order leapfrog low-pass: five integrators and four inverters, all two-port parameters");
  // Integrator k: inverting input 10k, output 10k+1, capacitor between them.
  auto in = [](int k) { return 10 * k; };
  auto out = [](int k) { return 10 * k + 1; };
  // Inverter k (after integrator k+1, feeding integrator k): input 10k+5, output 10k+6.
  auto invIn = [](int k) { return 10 * k + 5; };
  auto invOut = [](int k) { return 10 * k + 6; };
  net.one("rin", 1, in(1));
  net.one("rq1", out(1), in(1));
  net.one("rq5", out(5), in(5));
  for (int k = 1; k <= 5; ++k) {
    net.one(numbered("c", k), in(k), out(k));
    net.two(numbered("oi", k), out(k), 0, 0, in(k));
  }
  for (int k = 1; k <= 4; ++k) {
    net.one(numbered("rfw", k), out(k), in(k + 1));  // forward path
    net.one(numbered("ra", k), out(k + 1), invIn(k));
    net.one(numbered("rb", k), invIn(k), invOut(k));
    net.two(numbered("ov", k), invOut(k), 0, 0, invIn(k));
    net.one(numbered("rbk", k), invOut(k), in(k));  // inverted feedback
  }
  net.port(1, 0, out(5), 0);
  net.request({});
  return net.finish("leapfrog_5");
}

// n multiple-feedback low-pass biquads in cascade.
Circuit mfbCascade(int n) {
  Netlist net("cascade of " + std::to_string(n) + " multiple-feedback low-pass biquads");
  int input = 1;
  for (int k = 1; k <= n; ++k) {
    int x = 10 * k, inv = 10 * k + 1, output = 10 * k + 2;
    net.one(numbered("r1", k), input, x);
    net.one(numbered("r2", k), x, output);
    net.one(numbered("r3", k), x, inv);
    net.one(numbered("c1", k), x, 0);
    net.one(numbered("c2", k), inv, output);
    net.two(numbered("o", k), output, 0, 0, inv);
    input = output;
  }
  net.port(1, 0, input, 0);
  net.request({"g21"});
  return net.finish("mfb_cascade_" + std::to_string(n));
}

// n unity-gain Sallen-Key low-pass sections in cascade, each built around a
// voltage-controlled voltage source used as the follower.
Circuit sallenKeyCascade(int n, bool all) {
  Netlist net("cascade of " + std::to_string(n) + " unity-gain Sallen-Key low-pass sections");
  int input = 1;
  for (int k = 1; k <= n; ++k) {
    int x = 10 * k, y = 10 * k + 1, output = 10 * k + 2;
    net.one(numbered("ra", k), input, x);
    net.one(numbered("rb", k), x, y);
    net.one(numbered("ca", k), output, x);
    net.one(numbered("cb", k), y, 0);
    net.two(numbered("u", k), output, 0, y, 0);
    input = output;
  }
  net.port(1, 0, input, 0);
  net.request(all ? std::vector<std::string>{} : std::vector<std::string>{"g21"});
  return net.finish("sallen_key_" + std::to_string(n) + (all ? "_all" : ""));
}

// One bipolar transistor, hybrid-pi model: base, collector, emitter nodes.
void hybridPi(Netlist& net, int k, int b, int c, int e) {
  net.one(numbered("rpi", k), b, e);
  net.one(numbered("cpi", k), b, e);
  net.one(numbered("cmu", k), b, c);
  net.two(numbered("gm", k), c, e, b, e);
  net.one(numbered("ro", k), c, e);
}

// n common-emitter stages coupled by capacitors, base bias dividers,
// collector loads, bypassed emitter resistors.
Circuit commonEmitterChain(int n, const std::vector<std::string>& requests) {
  Netlist net(std::to_string(n) + "-stage capacitor-coupled common-emitter amplifier, hybrid-pi transistors");
  net.one("rs", 1, 2);
  int drive = 2;
  for (int k = 1; k <= n; ++k) {
    int b = 10 * k, c = 10 * k + 1, e = 10 * k + 2;
    net.one(numbered("cc", k), drive, b);
    net.one(numbered("rb", k), b, 0);
    net.one(numbered("rc", k), c, 0);
    net.one(numbered("re", k), e, 0);
    net.one(numbered("ce", k), e, 0);
    hybridPi(net, k, b, c, e);
    drive = c;
  }
  net.one("cl", drive, 3);
  net.one("rl", 3, 0);
  net.port(1, 0, 3, 0);
  net.request(requests);
  return net.finish("ce_chain_" + std::to_string(n) + (requests.empty() ? "_all" : ""));
}

// Cascode (common emitter into common base) followed by an emitter follower.
Circuit cascodeFollower() {
  Netlist net("cascode stage and emitter follower, hybrid-pi transistors");
  net.one("rs", 1, 2);
  net.one("rb1", 2, 0);
  hybridPi(net, 1, 2, 3, 0);  // common emitter, emitter grounded
  hybridPi(net, 2, 0, 4, 3);  // common base, base grounded
  net.one("rc2", 4, 0);
  hybridPi(net, 3, 4, 0, 5);  // follower, collector at signal ground
  net.one("re3", 5, 0);
  net.one("rl", 5, 0);
  net.one("cl", 5, 0);
  net.port(1, 0, 5, 0);
  net.request({});
  return net.finish("cascode_follower");
}

// Shunt-series feedback triple: three direct-coupled common-emitter stages,
// feedback from the last emitter to the first base.
Circuit feedbackTriple() {
  Netlist net("feedback triple: three common-emitter stages with shunt and series feedback");
  net.one("rs", 1, 2);
  hybridPi(net, 1, 2, 3, 4);
  net.one("re1", 4, 0);
  net.one("rc1", 3, 0);
  hybridPi(net, 2, 3, 5, 0);
  net.one("rc2", 5, 0);
  hybridPi(net, 3, 5, 6, 7);
  net.one("rc3", 6, 0);
  net.one("re3", 7, 0);
  net.one("rfb", 7, 4);   // series feedback into the first emitter
  net.one("rl", 6, 0);
  net.port(1, 0, 6, 0);
  net.request({});
  return net.finish("feedback_triple");
}

// A random active RC network: every node joins an earlier one by a random
// one-port, further one-ports and transconductors connect nearby nodes.
Circuit randomActive(int nodes, int extraOnePorts, int transconductors, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
  auto nearby = [&pick](int k) {
    int lo = k - 3 < 0 ? 0 : k - 3;
    return lo + pick(k - lo);
  };
  Netlist net("random active RC network, seed " + std::to_string(seed));
  int counts[4] = {0, 0, 0, 0};
  const char* prefixes[4] = {"r", "c", "g", "l"};
  auto onePort = [&](int a, int b) {
    int roll = pick(20);
    int kind = roll < 8 ? 0 : roll < 15 ? 1 : roll < 18 ? 2 : 3;
    net.one(numbered(prefixes[kind], ++counts[kind]), a, b);
  };
  for (int k = 1; k < nodes; ++k) onePort(k, nearby(k));
  for (int i = 0; i < extraOnePorts; ++i) {
    int k = 1 + pick(nodes - 1);
    onePort(k, nearby(k));
  }
  for (int i = 1; i <= transconductors; ++i) {
    int k = 1 + pick(nodes - 1);
    int j = 1 + pick(nodes - 1);
    net.two(numbered("gm", i), k, nearby(k), j, nearby(j));
  }
  net.port(1, 0, nodes - 1, 0);
  net.request({"g21"});
  return net.finish("random_active_" + std::to_string(nodes) + "_" + std::to_string(seed));
}

// A random op-amp network as large as the reader accepts: inverting
// integrators (some lossy) whose inputs are fed by resistors from random
// other outputs, and transconductors from random outputs into random inputs.
// It fills 32 node labels, 58 one-ports and 29 active edges.
Circuit randomOpampNetwork(int stages, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
  Netlist net("random op-amp network of " + std::to_string(stages) + " stages, seed " + std::to_string(seed));
  constexpr int kOnePortBudget = 58;
  constexpr int kActiveBudget = 29;
  auto inv = [](int k) { return 2 * k; };
  auto out = [](int k) { return 2 * k + 1; };
  const int input = 1;
  int onePorts = 0, resistors = 0, active = 0;
  // Integrators first, so every stage has its op-amp and capacitor.
  for (int k = 1; k <= stages; ++k) {
    net.two(numbered("o", k), out(k), 0, 0, inv(k));
    net.one(numbered("c", k), inv(k), out(k));
    ++onePorts;
    ++active;
  }
  net.one(numbered("r", ++resistors), input, inv(1));
  ++onePorts;
  // Then the couplings, round after round over the stages, until the
  // one-port budget is spent.
  for (int round = 0; onePorts < kOnePortBudget; ++round) {
    for (int k = 1; k <= stages && onePorts < kOnePortBudget; ++k) {
      if (round == 0 && pick(3) == 0) {
        net.one(numbered("rq", k), inv(k), out(k));
        ++onePorts;
        continue;
      }
      int from = 1 + pick(stages - 1);
      if (from >= k) ++from;
      net.one(numbered("r", ++resistors), out(from), inv(k));
      ++onePorts;
    }
  }
  for (int i = 1; active < kActiveBudget; ++i, ++active) {
    int from = 1 + pick(stages);
    int to = 1 + pick(stages);
    net.two(numbered("gm", i), inv(to), 0, out(from), 0);
  }
  net.port(input, 0, out(stages), 0);
  net.request({"g21"});
  return net.finish("random_opamp_" + std::to_string(stages) + "_" + std::to_string(seed));
}

// The complete graph on nodes 0 .. n-1, every edge a resistor of one
// name r: the input resistance between nodes 1 and 0 is 2r/n. Its n^(n-2)
// spanning trees all share one product of symbols per function, so the
// coefficients go far past 32 bits (11^9 for n = 11).
Circuit completeGraph(int n) {
  Netlist net("complete graph of " + std::to_string(n) + " nodes, every edge a resistor r");
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b) net.one("r", a, b);
  net.port(1, 0, 2, 0);
  net.request({"z11"});
  Circuit c = net.finish("complete_graph_" + std::to_string(n));
  c.passive = true;
  // In ohm units one term over another: 2 r over n.
  const std::string blanks(9, ' ');
  char denominator[8];
  std::snprintf(denominator, sizeof denominator, "%3d", n);
  c.expectedResult = "\n Numerator:\n\n + s^0  (\n" + blanks + "  2 r   \n        )\n\n Denominator:\n\n + s^0  (\n" +
                     blanks + denominator + "\n        )\n\n End:\n";
  return c;
}

}  // namespace

std::vector<Circuit> benchSuite() {
  std::vector<Circuit> suite;
  auto add = [&suite](Circuit c, bool quick = false) {
    c.quick = quick;
    suite.push_back(std::move(c));
  };
  add(rcLadder(8), true);
  add(rcLadder(11));
  add(rcLadder(14));
  add(lcLadder(13), true);
  add(lcLadder(17));
  add(lcLadder(21));
  add(towThomas(), true);
  add(stateVariable(), true);
  add(leapfrog5());
  add(mfbCascade(4), true);
  add(mfbCascade(6));
  add(sallenKeyCascade(3, true));
  add(sallenKeyCascade(4, false), true);
  add(sallenKeyCascade(5, false));
  add(commonEmitterChain(2, {"g21"}), true);
  add(commonEmitterChain(2, {}));
  add(commonEmitterChain(3, {"g21", "y11", "y22"}));
  add(cascodeFollower());
  add(feedbackTriple());
  add(randomActive(16, 8, 6, 1));
  add(randomActive(20, 10, 8, 2));
  Circuit limits = randomOpampNetwork(15, 3);
  limits.plainTooSlow = true;
  add(std::move(limits));
  Circuit complete = completeGraph(11);
  complete.plainTooSlow = true;
  add(std::move(complete));
  return suite;
}

}  // namespace velkor::bench
