"""Which mutants scripts/mutate makes of a few lines of C++: every rule, and
the places no rule may touch."""

import pathlib
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts" / "mutation"))
import mutants  # noqa: E402

ROWS = [
    # Operators between spaces, && and ||, the condition, the dropped body.
    ("if (n < kMax && ok) Go(n);",
     {"if (n <= kMax && ok) Go(n);", "if (n < kMax || ok) Go(n);", "if (!(n < kMax && ok)) Go(n);",
      "if (n < kMax && ok) {}"}),
    # A ! goes instead of a second one coming; a declaration stays.
    ("while (!done) step = Next(step, 0x7F);",
     {"while (done) step = Next(step, 0x7F);", "while (!done) {}", "while (!done) step = Next(step, 0x80);",
      "while (!done) step = Next(step, 0x7E);"}),
    ("const bool more = a != b;", {"const bool more = a == b;"}),
    # Template brackets, ->, << and >> are no comparisons.
    ("out << static_cast<int>(p->size >> 2);",
     {"{}", "out << static_cast<int>(p->size >> 3);", "out << static_cast<int>(p->size >> 1);"}),
    # Comments, literals, the preprocessor and static_assert are left alone.
    ('#define kLimit 10\nstatic_assert(sizeof(int) == 4, "int < 5");\n'
     "// if (x == 1) return;\nLog(R\"(a == b)\", '<', 1'000);",
     {"{}", "Log(R\"(a == b)\", '<', 1001);", "Log(R\"(a == b)\", '<', 999);"}),
    # Arguments swap when plainly of one kind: declared alike, or literals.
    ("void Copy(const std::string& from, const std::string& to, int n);\n"
     'Copy(from, to, "x", "y");',
     {"{}", 'Copy(to, from, "x", "y");', 'Copy(from, to, "y", "x");'}),
    ("return;", {"{}"}),
    ("return Total(a, b) + 0;", {"return Total(a, b) + 1;"}),
]


class MutantsTest(unittest.TestCase):
    def test_each_rule_and_what_no_rule_touches(self):
        for source, expected in ROWS:
            with self.subTest(source=source):
                found = mutants.mutants("x.cpp", source)
                self.assertEqual(expected, {mutant.after for mutant in found})
                for mutant in found:
                    self.assertEqual(mutant.after, mutants.collapse(
                        mutant.apply(source).splitlines()[mutant.line - 1]))

    def test_a_seed_draws_the_same_sample_and_equivalents_match_by_text(self):
        found = mutants.mutants("x.cpp", "\n".join(f"if (a < {n}) b = {n};" for n in range(40)))
        self.assertEqual(mutants.sample(found, 10, 3), mutants.sample(found, 10, 3))
        self.assertNotEqual(mutants.sample(found, 10, 3), mutants.sample(found, 10, 4))
        listed = mutants.read_equivalents("# comment\n\nx.cpp\n  before: if (a < 7) b = 7;\n"
                                          "  after: if (a  <=  7) b = 7;\n  reason: why\n")
        self.assertEqual(["if (a <= 7) b = 7;"],
                         [m.after for m in found if mutants.equivalent_key(m) in listed])


if __name__ == "__main__":
    unittest.main()
