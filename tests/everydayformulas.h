#pragma once
// Fifty formulas as students, teachers and papers write them (algebra,
// calculus, statistics, physics, chemistry, matrices, cases), with the
// tree each must read into. The formula tests check the trees; the
// benchmark typesets the lines.

namespace quill::test {

struct EverydayFormula {
    const char* line;
    const char* tree;
};

inline constexpr EverydayFormula EverydayFormulas[] = {
    // Algebra
    {"x = \\frac{-b \\pm \\sqrt{b^2 - 4ac}}{2a}", "x = frac(- b \\pm sqrt(b^2 - 4 a c),2 a)"},
    {"(a+b)^2 = a^2 + 2ab + b^2", "( a + b )^2 = a^2 + 2 a b + b^2"},
    {"a^2 - b^2 = (a-b)(a+b)", "a^2 - b^2 = ( a - b ) ( a + b )"},
    {"\\log_b(xy) = \\log_b x + \\log_b y", "op(log)_b ( x y ) = op(log)_b x + op(log)_b y"},
    {"|x - 3| < 5 \\implies -2 < x < 8", "| x - 3 | < 5 \\implies - 2 < x < 8"},
    {"\\sqrt[3]{27} = 3", "sqrt[3](2 7) = 3"},
    {"\\begin{aligned} 2x + 3 &= 7 \\\\ x &= 2 \\end{aligned}",
     "aligned(2 x + 3 & = 7 \\\\ x & = 2)"},
    {"f(x) = \\frac{1}{1 + e^{-x}}", "f ( x ) = frac(1,1 + e^(- x))"},
    {"\\sum_{k=0}^{n} \\binom{n}{k} x^k y^{n-k} = (x+y)^n",
     "\\sum_(k = 0)^n binom(n,k) x^k y^(n - k) = ( x + y )^n"},
    {"z = r(\\cos\\theta + i \\sin\\theta) = re^{i\\theta}",
     "z = r ( op(cos) \\theta + i op(sin) \\theta ) = r e^(i \\theta)"},
    // Calculus
    {"f'(x) = \\lim_{h \\to 0} \\frac{f(x+h) - f(x)}{h}",
     "f^\\prime ( x ) = op*(lim)_(h \\to 0) frac(f ( x + h ) - f ( x ),h)"},
    {"\\int_a^b f(x)\\,dx = F(b) - F(a)", "\\int_a^b f ( x ) space(3) d x = F ( b ) - F ( a )"},
    {"\\frac{d}{dx}\\left( \\sin x \\right) = \\cos x",
     "frac(d,d x) \\left( op(sin) x \\right) = op(cos) x"},
    {"\\int_0^\\infty e^{-x^2}\\,dx = \\frac{\\sqrt{\\pi}}{2}",
     "\\int_0^\\infty e^(- x^2) space(3) d x = frac(sqrt(\\pi),2)"},
    {"\\frac{\\partial^2 u}{\\partial t^2} = c^2 \\nabla^2 u",
     "frac(\\partial^2 u,\\partial t^2) = c^2 \\nabla^2 u"},
    {"e^x = \\sum_{n=0}^{\\infty} \\frac{x^n}{n!}", "e^x = \\sum_(n = 0)^\\infty frac(x^n,n !)"},
    {"\\lim_{x \\to \\infty} \\left(1 + \\frac{1}{x}\\right)^x = e",
     "op*(lim)_(x \\to \\infty) \\left( 1 + frac(1,x) \\right)^x = e"},
    {"\\oint_C \\mathbf{F} \\cdot d\\mathbf{r} = \\iint_S (\\nabla \\times \\mathbf{F}) \\cdot "
     "d\\mathbf{S}",
     "\\oint_C \\mathbf{F} \\cdot d \\mathbf{r} = \\iint_S ( \\nabla \\times \\mathbf{F} ) \\cdot "
     "d \\mathbf{S}"},
    {"f''(x) + \\omega^2 f(x) = 0", "f^(\\prime \\prime) ( x ) + \\omega^2 f ( x ) = 0"},
    {"\\int \\frac{dx}{x} = \\ln|x| + C", "\\int frac(d x,x) = op(ln) | x | + C"},
    // Statistics
    {"\\bar{x} = \\frac{1}{n} \\sum_{i=1}^{n} x_i", "bar(x) = frac(1,n) \\sum_(i = 1)^n x_i"},
    {"\\sigma = \\sqrt{\\frac{1}{N} \\sum_{i=1}^{N} (x_i - \\mu)^2}",
     "\\sigma = sqrt(frac(1,N) \\sum_(i = 1)^N ( x_i - \\mu )^2)"},
    {"P(A \\mid B) = \\frac{P(B \\mid A)\\, P(A)}{P(B)}",
     "P ( A \\mid B ) = frac(P ( B \\mid A ) space(3) P ( A ),P ( B ))"},
    {"f(x) = \\frac{1}{\\sigma\\sqrt{2\\pi}} e^{-\\frac{(x-\\mu)^2}{2\\sigma^2}}",
     "f ( x ) = frac(1,\\sigma sqrt(2 \\pi)) e^(- frac(( x - \\mu )^2,2 \\sigma^2))"},
    {"\\operatorname{Var}(X) = E[X^2] - (E[X])^2", "op(Var) ( X ) = E [ X^2 ] - ( E [ X ] )^2"},
    {"P(X = k) = \\binom{n}{k} p^k (1-p)^{n-k}", "P ( X = k ) = binom(n,k) p^k ( 1 - p )^(n - k)"},
    {"\\hat{\\beta} = (X^T X)^{-1} X^T y", "hat(\\beta) = ( X^T X )^(- 1) X^T y"},
    {"z = \\frac{\\bar{x} - \\mu}{\\sigma / \\sqrt{n}}",
     "z = frac(bar(x) - \\mu,\\sigma / sqrt(n))"},
    {"\\rho_{X,Y} = \\frac{\\operatorname{cov}(X,Y)}{\\sigma_X \\sigma_Y}",
     "\\rho_(X , Y) = frac(op(cov) ( X , Y ),\\sigma_X \\sigma_Y)"},
    {"\\chi^2 = \\sum_{i=1}^{k} \\frac{(O_i - E_i)^2}{E_i}",
     "\\chi^2 = \\sum_(i = 1)^k frac(( O_i - E_i )^2,E_i)"},
    // Physics
    {"E = mc^2", "E = m c^2"},
    {"F = G \\frac{m_1 m_2}{r^2}", "F = G frac(m_1 m_2,r^2)"},
    {"\\vec{F} = m\\vec{a}", "vec(F) = m vec(a)"},
    {"i\\hbar \\frac{\\partial}{\\partial t} \\Psi = \\hat{H} \\Psi",
     "i \\hbar frac(\\partial,\\partial t) \\Psi = hat(H) \\Psi"},
    {"\\nabla \\cdot \\mathbf{E} = \\frac{\\rho}{\\varepsilon_0}",
     "\\nabla \\cdot \\mathbf{E} = frac(\\rho,\\varepsilon_0)"},
    {"v = v_0 + at, \\quad s = v_0 t + \\frac{1}{2} a t^2",
     "v = v_0 + a t , space(18) s = v_0 t + frac(1,2) a t^2"},
    {"\\lambda = \\frac{h}{p}", "\\lambda = frac(h,p)"},
    {"PV = nRT", "P V = n R T"},
    {"S_n = a_1 + a_2 + \\cdots + a_n", "S_n = a_1 + a_2 + \\cdots + a_n"},
    {"E_k = \\tfrac{1}{2} m v^2", "E_k = tfrac(1,2) m v^2"},
    // Chemistry
    {"2\\mathrm{H}_2 + \\mathrm{O}_2 \\rightarrow 2\\mathrm{H}_2\\mathrm{O}",
     "2 \\mathrm{H}_2 + \\mathrm{O}_2 \\to 2 \\mathrm{H}_2 \\mathrm{O}"},
    {"\\mathrm{CH_4} + 2\\mathrm{O_2} \\longrightarrow \\mathrm{CO_2} + 2\\mathrm{H_2O}",
     "{\\mathrm{C} \\mathrm{H}_\\mathrm{4}} + 2 {\\mathrm{O}_\\mathrm{2}} \\longrightarrow "
     "{\\mathrm{C} \\mathrm{O}_\\mathrm{2}} + 2 {\\mathrm{H}_\\mathrm{2} \\mathrm{O}}"},
    {"\\mathrm{N_2} + 3\\mathrm{H_2} \\rightleftharpoons 2\\mathrm{NH_3}",
     "{\\mathrm{N}_\\mathrm{2}} + 3 {\\mathrm{H}_\\mathrm{2}} \\rightleftharpoons 2 "
     "{\\mathrm{N} \\mathrm{H}_\\mathrm{3}}"},
    {"K_a = \\frac{[\\mathrm{H^+}][\\mathrm{A^-}]}{[\\mathrm{HA}]}",
     "K_a = frac([ {\\mathrm{H}^+} ] [ {\\mathrm{A}^-} ],[ {\\mathrm{H} \\mathrm{A}} ])"},
    {"\\mathrm{pH} = -\\log_{10}[\\mathrm{H_3O^+}]",
     "{\\mathrm{p} \\mathrm{H}} = - op(log)_(1 0) [ {\\mathrm{H}_\\mathrm{3} \\mathrm{O}^+} ]"},
    // Matrices and cases
    {"A = \\begin{pmatrix} a & b \\\\ c & d \\end{pmatrix}",
     "A = \\left( matrix(a & b \\\\ c & d) \\right)"},
    {"\\begin{vmatrix} a & b \\\\ c & d \\end{vmatrix} = ad - bc",
     "\\left| matrix(a & b \\\\ c & d) \\right| = a d - b c"},
    {"A^{-1} = \\frac{1}{ad-bc} \\begin{bmatrix} d & -b \\\\ -c & a \\end{bmatrix}",
     "A^(- 1) = frac(1,a d - b c) \\left[ matrix(d & - b \\\\ - c & a) \\right]"},
    {"I_3 = \\begin{pmatrix} 1 & 0 & 0 \\\\ 0 & 1 & 0 \\\\ 0 & 0 & 1 \\end{pmatrix}",
     "I_3 = \\left( matrix(1 & 0 & 0 \\\\ 0 & 1 & 0 \\\\ 0 & 0 & 1) \\right)"},
    {"|x| = \\begin{cases} x & \\text{if } x \\geq 0 \\\\ -x & \\text{if } x < 0 \\end{cases}",
     "| x | = \\left\\{ cases(x & text(\"if \") x \\ge 0 \\\\ - x & text(\"if \") x < 0) "
     "\\right."},
};

} // namespace quill::test
