#!/usr/bin/python3
"""Independent least-squares fits of the segmented stability models.

A second opinion on the program's Gauss-Newton fits, written from the model definitions alone
and solved by SciPy (scipy.optimize.least_squares, trust-region reflective with bounds), so that
nothing of the program's own engine enters the check:

  toler        Y(i,j) = a(i) + [b1(i) Z + b2(i) (1 - Z)] U(j),             Z = [U(j) <= 0]
               sum b1 = g, sum b2 = g, sum U = sum of the classic index   (Toler 1990)
  silva        Y(i,j) = a(i) + b1(i) X(j)                         X(j) <= X0(i)
                        a(i) + b1(i) X0(i) + b2(i) (X(j) - X0(i))  X(j) >  X0(i)
               sum b1 = g, sum b2 = g; X0(i) between the second-smallest and the
               second-largest X(j)                                         (Silva 1998)
  silva-mod    Y(i,j) = a(i) + [b1(i) Z + b2(i) (1 - Z)] (X(j) - X0(i)),   Z = [X(j) <= X0(i)]
               sum b1 = g, sum b2 = g, the same junction bounds
  silva-toler  Y(i,j) = a(i) + [b1(i) Z + b2(i) (1 - Z)] (U(j) - U0(i)),   Z = [U(j) <= U0(i)]
               sum b1 = g, sum b2 = g, sum U0 = 0, sum U = sum of the classic index

with X(j) the classic environmental index (environment mean minus grand mean).

The linear equality constraints are substituted (the last member of each group is the group's
value minus the others), so that the solver sees an unconstrained problem with box bounds on
the junctions of Silva's forms. The residual sum of squares of a broken-line model is not
smooth where a junction crosses an index value, and it has local minima, so the search is
multi-start: the program's own starting values, random starts, and for the models with a known
index an exact profile in the junctions (given the junctions the model is linear; within each
interval between consecutive index values the best broken line is either the two separate
lines, when they cross inside the interval, or the one with its junction at an end of the
interval -- Hudson 1966, J. Amer. Statist. Assoc. 61: 1097-1129), each followed by a local
least_squares polish.

Usage:
  independent_fit.py best TABLE.csv -m MODEL -g G -a A [--starts N]
  independent_fit.py check TABLE.csv -m MODEL -g G -a A --results RESULTS.json
  independent_fit.py synth OUT.csv -g G -a A --seed S      (a table for the checks)
  independent_fit.py accept CLI --examples DIR --data DIR [--starts N]
                      (the program on the bundled examples and the synthetic tables, checked)
The table is a CSV with genotype, environment and response columns (the first three).
"""

import argparse
import csv
import json
import math
import sys

import numpy as np
from scipy.optimize import least_squares, minimize

MODELS = ("toler", "silva", "silva-mod", "silva-toler")


# --- the table -----------------------------------------------------------------------------


def read_table(path, g, a, column=2):
    y = np.full((g, a), np.nan)
    with open(path, newline="") as f:
        rows = list(csv.reader(f, delimiter=";" if ";" in f.readline() else ","))
    for row in rows:
        i, j = int(float(row[0])), int(float(row[1]))
        if 1 <= i <= g and 1 <= j <= a:
            y[i - 1, j - 1] = float(row[column])
    if np.isnan(y).any():
        raise SystemExit(f"{path}: the table is not complete for g = {g}, a = {a}")
    return y


# --- the models: a full parameter vector, its constraint groups, fitted values, Jacobian ------


class Model:
    """Parameter layout of the program's reports: per genotype a, b1, b2 (and the junction),
    then the environments' index when it is estimated."""

    def __init__(self, name, y):
        self.name, self.y = name, y
        self.g, self.a = y.shape
        self.x = y.mean(axis=0) - y.mean()  # the classic index
        self.junction = name != "toler"
        self.per_gen = 4 if self.junction else 3
        self.index_estimated = name in ("toler", "silva-toler")
        self.P = self.per_gen * self.g + (self.a if self.index_estimated else 0)
        g = self.g
        groups = [([self.per_gen * i + 1 for i in range(g)], float(g)),
                  ([self.per_gen * i + 2 for i in range(g)], float(g))]
        if name == "silva-toler":
            groups.append(([4 * i + 3 for i in range(g)], 0.0))
        if self.index_estimated:
            groups.append(([self.per_gen * g + j for j in range(self.a)], float(self.x.sum())))
        self.groups = groups
        # Junction bounds of Silva's forms: the second-smallest and second-largest index value.
        xs = np.unique(self.x)
        self.xl = xs[1] if len(xs) > 1 else xs[0]
        self.xu = xs[-2] if len(xs) > 1 else xs[0]
        # theta = T z + c, z the free parameters.
        dependent = {grp[-1]: (grp, v) for grp, v in groups}
        self.free = [p for p in range(self.P) if p not in dependent]
        self.T = np.zeros((self.P, len(self.free)))
        self.c = np.zeros(self.P)
        col = {p: k for k, p in enumerate(self.free)}
        for p in self.free:
            self.T[p, col[p]] = 1.0
        for last, (grp, v) in dependent.items():
            self.c[last] = v
            for p in grp[:-1]:
                self.T[last, col[p]] = -1.0

    # parameter slices
    def parts(self, th):
        k, g = self.per_gen, self.g
        a, b1, b2 = th[0:k * g:k], th[1:k * g:k], th[2:k * g:k]
        j0 = th[3:k * g:k] if self.junction else None
        u = th[k * g:] if self.index_estimated else self.x
        return a, b1, b2, j0, u

    def pattern(self, th):
        """Z(i, j): 1 where the cell lies on the first line (at or below the junction)."""
        _, _, _, j0, u = self.parts(th)
        U = np.broadcast_to(u[None, :], (self.g, self.a))
        return (U <= 0) if self.name == "toler" else (U - j0[:, None] <= 0)

    def fitted_on(self, th, Z):
        """The fitted values with every cell held on the line Z gives it: a smooth model that
        equals the broken-line one wherever Z is the pattern of theta (and on its closure)."""
        a, b1, b2, j0, u = self.parts(th)
        A, B1, B2 = a[:, None], b1[:, None], b2[:, None]
        U = np.broadcast_to(u[None, :], (self.g, self.a))
        if self.name == "toler":
            return A + np.where(Z, B1, B2) * U
        J = j0[:, None]
        if self.name == "silva":
            return np.where(Z, A + B1 * U, A + B1 * J + B2 * (U - J))
        return A + np.where(Z, B1, B2) * (U - J)

    def fitted(self, th):
        return self.fitted_on(th, self.pattern(th))

    def jacobian_on(self, th, Z):
        """d fitted_on / d theta, rows in cell order (genotype by genotype)."""
        g, a, k = self.g, self.a, self.per_gen
        _, b1, b2, j0, u = self.parts(th)
        U = np.broadcast_to(u[None, :], (g, a))
        Jf = np.zeros((g, a, self.P))
        gi = np.arange(g)
        Jf[gi, :, k * gi] = 1.0
        if self.name == "toler":
            Jf[gi, :, k * gi + 1] = np.where(Z, U, 0.0)
            Jf[gi, :, k * gi + 2] = np.where(Z, 0.0, U)
            for j in range(a):
                Jf[:, j, k * g + j] = np.where(Z[:, j], b1, b2)
            return Jf.reshape(g * a, self.P)
        J = j0[:, None]
        if self.name == "silva":
            Jf[gi, :, k * gi + 1] = np.where(Z, U, J)
            Jf[gi, :, k * gi + 2] = np.where(Z, 0.0, U - J)
            Jf[gi, :, k * gi + 3] = np.where(Z, 0.0, (b1 - b2)[:, None])
            return Jf.reshape(g * a, self.P)
        D = U - J
        S = np.where(Z, b1[:, None], b2[:, None])
        Jf[gi, :, k * gi + 1] = np.where(Z, D, 0.0)
        Jf[gi, :, k * gi + 2] = np.where(Z, 0.0, D)
        Jf[gi, :, k * gi + 3] = -S
        if self.index_estimated:
            for j in range(a):
                Jf[:, j, k * g + j] = S[:, j]
        return Jf.reshape(g * a, self.P)

    def jacobian(self, th):
        return self.jacobian_on(th, self.pattern(th))

    def pattern_allowed(self, Z):
        """The junction bounds as a rule on the pattern: every genotype keeps at least two
        environments on its first line and one on its second (a junction between the second-
        smallest and the second-largest index value)."""
        if not self.junction:
            return True
        lower = Z.sum(axis=1)
        return bool(((lower >= 2) & (self.a - lower >= 1)).all())

    def inside_bounds(self, th):
        """The junction bounds: between the second-smallest and the second-largest index value
        (Silva and Toler: of the estimated index at theta)."""
        if not self.junction:
            return True
        _, _, _, j0, u = self.parts(th)
        us = np.unique(u)
        lo, hi = (us[1], us[-2]) if len(us) > 2 else (us[0], us[-1])
        if not self.index_estimated:
            lo, hi = self.xl, self.xu
        return bool(((j0 >= lo) & (j0 <= hi)).all())

    def side_rows(self, Z, th=None):
        """The pattern Z as linear inequalities on z, A z + b >= 0: each cell's distance from
        the junction, D = U(j) - junction(i) (Toler: U(j)), <= 0 on the first line and >= 0 on
        the second. For Silva and Toler with theta, also the junction bounds, as the index
        values that are second-smallest and second-largest at theta."""
        g, a, k = self.g, self.a, self.per_gen
        rows, rhs = [], []
        seen = set()
        for i in range(g):
            for j in range(a):
                key = (j, bool(Z[i, j])) if self.name == "toler" else (i, j)
                if key in seen:
                    continue
                seen.add(key)
                L = np.zeros(self.P)
                l0 = 0.0
                if self.index_estimated:
                    L[k * g + j] = 1.0
                else:
                    l0 = self.x[j]
                if self.junction:
                    L[k * i + 3] = -1.0
                s = -1.0 if Z[i, j] else 1.0
                rows.append(s * (L @ self.T))
                rhs.append(s * (L @ self.c + l0))
        if th is not None and self.name == "silva-toler" and self.a > 2:
            order = np.argsort(self.parts(th)[4], kind="stable")
            for i in range(g):
                for j, sign in ((order[1], -1.0), (order[-2], 1.0)):
                    L = np.zeros(self.P)
                    L[k * g + j] = 1.0
                    L[k * i + 3] = -1.0
                    rows.append(sign * (L @ self.T))
                    rhs.append(sign * (L @ self.c))
        return np.array(rows), np.array(rhs)

    def ss(self, th):
        e = self.y - self.fitted(th)
        return float(np.sum(e * e))

    def theta(self, z):
        return self.T @ z + self.c

    def reduce(self, th):
        return np.asarray(th, dtype=float)[self.free]

    def bounds(self):
        lo = np.full(len(self.free), -np.inf)
        hi = np.full(len(self.free), np.inf)
        if self.name in ("silva", "silva-mod"):
            for k, p in enumerate(self.free):
                if p % 4 == 3:
                    lo[k], hi[k] = self.xl, self.xu
        return lo, hi

    def constraint_sums(self, th):
        return [(float(sum(th[p] for p in grp)), v) for grp, v in self.groups]

    # starting values
    def program_start(self):
        g, k = self.g, self.per_gen
        th = np.zeros(self.P)
        mg = self.y.mean(axis=1)
        th[0:k * g:k] = mg
        th[1:k * g:k] = 1.0
        th[2:k * g:k] = 1.0
        if self.name == "silva-mod":
            th[3:k * g:k] = mg - mg.mean()
        if self.index_estimated:
            th[k * g:] = self.x
        return th

    def random_start(self, rng):
        th = self.program_start()
        g, k = self.g, self.per_gen
        th[1:k * g:k] = 1 + rng.normal(0, 0.4, g)
        th[2:k * g:k] = 1 + rng.normal(0, 0.4, g)
        if self.index_estimated:
            th[k * g:] = self.x * (1 + rng.normal(0, 0.2, self.a))
        if self.junction:
            u = th[k * g:] if self.index_estimated else self.x
            us = np.unique(u)
            lo, hi = (self.xl, self.xu) if not self.index_estimated else (us[1], us[-2])
            for _ in range(100):
                j0 = rng.uniform(lo, hi, g)
                if self.name == "silva-toler":
                    j0 -= j0.mean()
                th[3:k * g:k] = j0
                if self.pattern_allowed(self.pattern(th)):
                    break
            else:
                th[3:k * g:k] = 0.0
        if self.name == "silva-mod":
            # the intercept is the response at the junction
            th[0:k * g:k] = self.y.mean(axis=1) + th[3:k * g:k]
        # satisfy the constraints exactly
        return self.theta(self.reduce(th))


# --- local fits -------------------------------------------------------------------------------


def refit(model, th0):
    """A local constrained least-squares refit from theta0: least_squares (trust-region
    reflective) on the broken-line model itself, the constraints substituted and the junction
    bounds of Silva's forms kept. It cannot raise the sum; from a point that is not a minimum it
    lowers it."""
    lo, hi = model.bounds()
    z0 = model.reduce(th0)
    span = np.where(np.isfinite(hi - lo), hi - lo, 1.0)
    z0 = np.clip(z0, lo + 1e-12 * span, hi - 1e-12 * span)
    res = least_squares(lambda z: (model.fitted(model.theta(z)) - model.y).ravel(), z0,
                        jac=lambda z: model.jacobian(model.theta(z)) @ model.T,
                        bounds=(lo, hi), method="trf", x_scale="jac",
                        ftol=1e-15, xtol=1e-15, gtol=1e-15, max_nfev=5000)
    th = model.theta(res.x)
    if not model.inside_bounds(th):
        # Silva and Toler: the junctions' bounds move with the index, so they are not box bounds
        # for least_squares; a refit that left them is done again within the pattern of theta0.
        th, _ = pattern_fit(model, th0, model.pattern(th0))
    return th, model.ss(th)


def pattern_box(model, Z):
    """Silva's forms: the junctions' box that keeps the pattern Z (within the bounds)."""
    lo, hi = model.bounds()
    lo, hi = lo.copy(), hi.copy()
    for k, p in enumerate(model.free):
        if p % 4 == 3:
            i = p // 4
            below, above = model.x[Z[i]], model.x[~Z[i]]
            if below.size:
                lo[k] = max(lo[k], below.max())
            if above.size:
                hi[k] = min(hi[k], above.min())
    return lo, hi


def pattern_fit(model, th0, Z):
    """The least-squares fit with every cell held on the side Z gives it: a smooth problem
    under the linear equality constraints (substituted) and the linear inequalities that keep
    the pattern (and the junction bounds). For Silva's forms the inequalities are a box on the
    junctions (least_squares); otherwise SLSQP, then a Gauss-Newton polish on its active set."""
    if model.name in ("silva", "silva-mod"):
        lo, hi = pattern_box(model, Z)
        if (lo > hi).any():
            raise ValueError("empty pattern")
        z0 = np.clip(model.reduce(th0), lo, hi)
        res = least_squares(lambda z: (model.fitted_on(model.theta(z), Z) - model.y).ravel(), z0,
                            jac=lambda z: model.jacobian_on(model.theta(z), Z) @ model.T,
                            bounds=(lo, np.where(hi > lo, hi, lo + 1e-300)), method="trf",
                            x_scale="jac", ftol=1e-15, xtol=1e-15, gtol=1e-15, max_nfev=5000)
        th = model.theta(res.x)
        return th, float(np.sum((model.fitted_on(th, Z) - model.y) ** 2))
    A, b = model.side_rows(Z, th0)
    lo, hi = model.bounds()
    z0 = np.clip(model.reduce(th0), lo, hi)
    y = model.y.ravel()

    def resid(z):
        return model.fitted_on(model.theta(z), Z).ravel() - y

    def jac(z):
        return model.jacobian_on(model.theta(z), Z) @ model.T

    scale = max(float(resid(z0) @ resid(z0)), 1e-300)

    def fun(z):
        r = resid(z)
        return float(r @ r) / scale, 2 * (jac(z).T @ r) / scale

    bnds = [(None if not np.isfinite(l) else l, None if not np.isfinite(h) else h)
            for l, h in zip(lo, hi)]
    res = minimize(fun, z0, jac=True, method="SLSQP", bounds=bnds,
                   constraints=[{"type": "ineq", "fun": lambda z: A @ z + b,
                                 "jac": lambda z: A}],
                   options={"ftol": 1e-16, "maxiter": 3000})
    z = res.x
    # Gauss-Newton polish on the active set: the constraints SLSQP left active are held as
    # equalities, the rest of the problem is then smooth and well posed.
    z = polish_active(model, Z, z, A, b, lo, hi)
    th = model.theta(z)
    return th, float(np.sum((model.fitted_on(th, Z) - model.y) ** 2))


def polish_active(model, Z, z, A, b, lo, hi, passes=50):
    """Newton steps of the Gauss-Newton kind on the pattern's smooth model with the active
    inequalities as equalities, kept only while they lower the sum and stay feasible."""
    y = model.y.ravel()
    tol = 1e-9 * (1 + np.abs(z).max())
    for _ in range(passes):
        th = model.theta(z)
        r = y - model.fitted_on(th, Z).ravel()
        s0 = float(r @ r)
        J = model.jacobian_on(th, Z) @ model.T
        act = [A[k] for k in range(len(b)) if A[k] @ z + b[k] <= tol]
        for k in range(len(z)):
            if np.isfinite(lo[k]) and z[k] - lo[k] <= tol or np.isfinite(hi[k]) and hi[k] - z[k] <= tol:
                e = np.zeros(len(z)); e[k] = 1; act.append(e)
        C = np.array(act) if act else np.zeros((0, len(z)))
        n, m = len(z), len(C)
        K = np.zeros((n + m, n + m))
        K[:n, :n] = J.T @ J
        K[:n, n:] = C.T
        K[n:, :n] = C
        rhs = np.concatenate([J.T @ r, np.zeros(m)])
        step = np.linalg.lstsq(K, rhs, rcond=None)[0][:n]
        accepted = False
        for lam in (1.0, 0.5, 0.25, 0.125):
            zt = z + lam * step
            if (A @ zt + b < -tol).any() or (zt < lo - tol).any() or (zt > hi + tol).any():
                continue
            rt = y - model.fitted_on(model.theta(zt), Z).ravel()
            if float(rt @ rt) < s0:
                z, accepted = zt, True
                break
        if not accepted:
            break
    return z


def local_fit(model, th0, tight=True, rounds=60):
    """A local least-squares minimum of the broken-line model from theta0: the pattern's fit,
    then every neighbouring pattern (a cell whose distance from its junction has come to 0
    moved to the other line) tried from there, until none lowers the sum. The sum is smooth
    inside each pattern, so a point no neighbour improves on is a local minimum."""
    th0 = model.theta(model.reduce(th0))
    lo, hi = model.bounds()
    th0 = model.theta(np.clip(model.reduce(th0), lo, hi))
    Z = model.pattern(th0)
    th, s = pattern_fit(model, th0, Z)
    for _ in range(rounds):
        _, _, _, j0, u = model.parts(th)
        U = np.broadcast_to(u[None, :], (model.g, model.a))
        D = U if model.name == "toler" else U - j0[:, None]
        scale = 1e-7 * (1 + np.abs(U).max())
        Zc = model.pattern(th)
        near = np.argwhere(np.abs(D) <= scale)
        best = None
        for i, j in near:
            Zn = Zc.copy()
            if model.name == "toler":
                Zn[:, j] = ~Zn[:, j]
            else:
                Zn[i, j] = ~Zn[i, j]
            if not model.pattern_allowed(Zn):
                continue
            try:
                tn, sn = pattern_fit(model, th, Zn)
            except (ValueError, np.linalg.LinAlgError):
                continue
            if sn < s * (1 - 1e-13) - 1e-300 and (best is None or sn < best[1]):
                best = (tn, sn)
        if best is None:
            break
        th, s = best
    return th, model.ss(th)


def linear_given_junctions(model, th):
    """Given the junctions (and the index of Silva and Toler), the model is linear in a, b1 and
    b2: the constrained least-squares solution of those, the rest of theta kept."""
    g, a, k = model.g, model.a, model.per_gen
    _, _, _, j0, u = model.parts(th)
    cols = []  # indices into theta of the linear parameters
    for i in range(g):
        cols += [k * i, k * i + 1, k * i + 2]
    X = np.zeros((g * a, len(cols)))
    off = np.zeros(g * a)
    for i in range(g):
        for j in range(a):
            r = i * a + j
            X[r, 3 * i] = 1.0
            if model.name == "silva":
                low = u[j] - j0[i] <= 0
                X[r, 3 * i + 1] = u[j] if low else j0[i]
                X[r, 3 * i + 2] = 0.0 if low else u[j] - j0[i]
            else:
                d = u[j] - j0[i]
                X[r, 3 * i + (1 if d <= 0 else 2)] = d
    # substitute the two slope constraints
    Tl = np.zeros((3 * g, 3 * g - 2))
    cl = np.zeros(3 * g)
    free = [p for p in range(3 * g) if p not in (3 * (g - 1) + 1, 3 * (g - 1) + 2)]
    for n, p in enumerate(free):
        Tl[p, n] = 1
    for s in (1, 2):
        last = 3 * (g - 1) + s
        cl[last] = g
        for i in range(g - 1):
            Tl[last, free.index(3 * i + s)] = -1
    rhs = model.y.ravel() - off - X @ cl
    zl, *_ = np.linalg.lstsq(X @ Tl, rhs, rcond=None)
    lin = Tl @ zl + cl
    out = th.copy()
    for n, p in enumerate(cols):
        out[p] = lin[n]
    return out


def junction_candidates(model, i, u):
    """Candidate junctions of genotype i: every index value inside the bounds and a point in
    every interval between consecutive values (refined by the local fit)."""
    vals = np.unique(u)
    if model.name in ("silva", "silva-mod"):
        vals = vals[(vals >= model.xl) & (vals <= model.xu)]
    mids = (vals[:-1] + vals[1:]) / 2
    return np.concatenate([vals, mids])


def profile_descent(model, th, sweeps=20):
    """Coordinate descent over the junctions: each genotype's junction in turn tried at every
    candidate, the linear parameters re-solved, the best kept."""
    k = model.per_gen
    best = linear_given_junctions(model, th)
    best_ss = model.ss(best)
    for _ in range(sweeps):
        improved = False
        for i in range(model.g):
            _, _, _, _, u = model.parts(best)
            for c in junction_candidates(model, i, u):
                trial = best.copy()
                trial[k * i + 3] = c
                if model.name == "silva-toler":
                    # keep the junctions' sum at 0: the others share the move
                    delta = c - best[k * i + 3]
                    for m in range(model.g):
                        if m != i:
                            trial[k * m + 3] -= delta / (model.g - 1)
                trial = linear_given_junctions(model, trial)
                s = model.ss(trial)
                if s < best_ss * (1 - 1e-12):
                    best, best_ss, improved = trial, s, True
        if not improved:
            break
    return best, best_ss


def best_fit(model, starts=60, seed=1):
    """Multi-start: the program's start, random starts and, for the models with junctions, the
    junction profile from each of them; every start ends in local_fit. Returns the best point,
    its sum, and the sums of all the local minima found."""
    rng = np.random.default_rng(seed)
    candidates = [model.program_start()]
    candidates += [model.random_start(rng) for _ in range(starts)]
    results = []
    for th0 in candidates:
        try:
            th, s = local_fit(model, th0)
            results.append((s, th))
            if model.junction:
                tp, _ = profile_descent(model, th)
                tp, sp = local_fit(model, tp)
                results.append((sp, tp))
        except (ValueError, np.linalg.LinAlgError):
            continue
    results.sort(key=lambda r: r[0])
    return results[0][1], results[0][0], [r[0] for r in results]


# --- the program's results ----------------------------------------------------------------------


def estimates_of(variable):
    """The estimates of one variable of the program's JSON results (--results): the tables of
    a(i), b1(i), b2(i), the junctions and the index, at full precision."""
    wanted = {"a=0": "a", "b1=0": "b1", "b2=0": "b2", "X0=0": "junction", "U0=0": "junction",
              "U=0": "U"}
    est = {}
    for table in variable.get("tables", []):
        if table["id"] in wanted:
            est[wanted[table["id"]]] = [row[2] for row in table["rows"]]
    return est


def fit_of(variable):
    """What the program says of the fit: its sum, the count printed, convergence, notes."""
    fit = variable.get("fit", {})
    return {"sse": fit.get("sse"), "iterations": variable.get("values", {}).get(
        "Número de iterações"), "converged": fit.get("converged"), "stop": fit.get("stop"),
        "notes": fit.get("notes", []), "scan": fit.get("scan")}


def theta_from_results(model, variable):
    """The full parameter vector of one variable's estimates."""
    est = variable["estimates"] if "estimates" in variable else estimates_of(variable)
    th = np.zeros(model.P)
    k, g = model.per_gen, model.g
    for i in range(g):
        th[k * i] = est["a"][i]
        th[k * i + 1] = est["b1"][i]
        th[k * i + 2] = est["b2"][i]
        if model.junction:
            th[k * i + 3] = est["junction"][i]
    if model.index_estimated:
        th[k * g:] = est["U"]
    return th


def variables_from_report(path, model, r):
    """The fits of a report text (the first fit of each variable): iterations, the deviation sum
    of squares divided by r, and the estimates at the precision they are printed with."""
    with open(path, encoding="utf-8", newline="") as f:
        lines = f.read().split("\r\n")
    out, cur, table = [], None, None
    heads = {"t p/ a(i)=0": "a", "t p/ b1(i)=0": "b1", "t p/ b2(i)=0": "b2",
             "t p/ X0(i)=0": "junction", "t p/ U0(j)=0": "junction", "t p/ U(j)=0": "U"}
    seps = 0
    for line in lines:
        if line.startswith("Número de iterações:"):
            if cur is not None and cur.get("done"):
                pass
            cur = {"fit": {"iterations": int(float(line.split(":")[1]))}, "estimates": {}}
            out.append(cur)
        elif cur is None or cur.get("done"):
            continue
        elif line.startswith("Desvio      "):
            cur["fit"]["sse"] = float(line.split()[2]) / r
        elif any(h in line for h in heads):
            table = next(v for h, v in heads.items() if h in line)
            cur["estimates"][table] = []
            seps = 0
        elif table and line.startswith("_____"):
            seps += 1
            if seps == 2:
                if table == ("U" if model.index_estimated else "junction"):
                    cur["done"] = True
                table = None
        elif table and seps == 1 and line.strip():
            cur["estimates"][table].append(float(line.split()[2]))
    return out


def check(model, variable, starts):
    """The acceptance figures of one fit: the printed sum, the sum of the printed estimates, a
    local constrained refit from them, the constraint sums, and the best fit found."""
    th = theta_from_results(model, variable)
    fit = variable["fit"] if "estimates" in variable else fit_of(variable)
    printed = fit["sse"]
    of_estimates = model.ss(th)
    _, refitted = refit(model, th)
    refitted = min(refitted, of_estimates)
    best = refitted
    if starts > 0:
        _, found, _ = best_fit(model, starts)
        best = min(best, found)
    return {
        "printed_sse": printed,
        "sse_of_estimates": of_estimates,
        "local_refit_sse": refitted,
        "best_sse": best,
        "constraint_sums": model.constraint_sums(th),
        "iterations": fit.get("iterations"),
        "converged": fit.get("converged"),
        "stop": fit.get("stop"),
        "notes": fit.get("notes", []),
    }


# --- the acceptance run ---------------------------------------------------------------------

EXAMPLES = [("onofri_winterwheat", 8, 7, 3, 0.148804, 98),
            ("sharma_met", 7, 6, 3, 20.65079, 72),
            ("lu_stability", 5, 6, 4, 179336.8, 72)]
SYNTHETIC = [("synthetic_20x10", 20, 10, 2, 0.2, 60), ("synthetic_50x12", 50, 12, 2, 0.2, 60)]


def corrected_ss(model, th):
    e = (model.y - model.fitted(th)).ravel()
    return float(np.sum((e - e.mean()) ** 2))


def accept(cli, examples_dir, data_dir, workdir, starts, models=MODELS):
    """Runs the program on the bundled examples and the synthetic tables with every segmented
    model, and checks each fit against this independent fitter: the printed sum is the sum of the
    printed estimates (relative 1e-9; Toler's models print the sum corrected for the residuals'
    mean); a local constrained refit from the printed estimates lowers it by no more than 1e-6
    relative, unless the fit says it did not converge; the constraint sums hold; a fit that did
    not converge says so in its notes. Prints the figures; returns the number of failures."""
    import os
    import subprocess
    failures = 0
    rows = []
    cases = [(os.path.join(examples_dir, n + ".csv"), n, g, a, r, qme, gle)
             for n, g, a, r, qme, gle in EXAMPLES]
    cases += [(os.path.join(data_dir, n + ".csv"), n, g, a, r, qme, gle)
              for n, g, a, r, qme, gle in SYNTHETIC]
    for path, name, g, a, r, qme, gle in cases:
        y = read_table(path, g, a)
        for m in models:
            results = os.path.join(workdir, f"{name}-{m}.json")
            run = subprocess.run([cli, "analyze", "-m", m, path, "-g", str(g), "-a", str(a),
                                  "-r", str(r), "--qme", str(qme), "--gle", str(gle),
                                  "-o", os.path.join(workdir, f"{name}-{m}.txt"),
                                  "--results", results], capture_output=True, text=True)
            if run.returncode != 0:
                print(f"FAIL {name} {m}: exit {run.returncode} {run.stderr.strip()}")
                failures += 1
                continue
            with open(results) as f:
                variable = json.load(f)["variables"][0]
            model = Model(m, y)
            c = check(model, variable, starts)
            th = theta_from_results(model, variable)
            own = corrected_ss(model, th) if m == "toler" else c["sse_of_estimates"]
            problems = []
            scale = max(abs(c["printed_sse"]), 1e-300)
            if abs(c["printed_sse"] - own) > 1e-9 * scale + 1e-12:
                problems.append("printed sum is not the sum of the printed estimates")
            drop = (c["sse_of_estimates"] - c["local_refit_sse"]) / max(c["sse_of_estimates"],
                                                                        1e-300)
            if c["converged"] and drop > 1e-6:
                problems.append(f"a local refit lowers the sum by {drop:.3g} of it")
            for (total, target), (grp, _) in zip(c["constraint_sums"], model.groups):
                size = max(1.0, max(abs(th[p]) for p in grp))
                if abs(total - target) > 1e-9 * size * len(grp):
                    problems.append(f"a constraint sum is {total!r}, not {target!r}")
            if not c["converged"] and not any("convergi" in n for n in c["notes"]):
                problems.append("did not converge and does not say so")
            status = "ok" if not problems else "FAIL " + "; ".join(problems)
            failures += bool(problems)
            rows.append((name, m, c, drop, status))
            print(f"{name:20s} {m:12s} printed {c['printed_sse']:.10g} estimates "
                  f"{c['sse_of_estimates']:.10g} refit {c['local_refit_sse']:.10g} "
                  f"best {c['best_sse']:.10g} passes {c['iterations']:g} {c['stop']} {status}",
                  flush=True)
    return failures


def synth(path, g, a, seed):
    """A table of broken-line responses on an index with noise: every genotype has a junction
    of its own."""
    rng = np.random.default_rng(seed)
    x = np.sort(rng.normal(0, 2, a))
    x -= x.mean()
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["gen", "env", "yield"])
        for i in range(g):
            b1, b2 = 1 + rng.normal(0, 0.3), 1 + rng.normal(0, 0.3)
            x0 = rng.uniform(x[1], x[-2])
            a0 = 10 + rng.normal(0, 1)
            for j in range(a):
                d = x[j] - x0
                v = a0 + (b1 if d <= 0 else b2) * d + rng.normal(0, 0.3)
                w.writerow([i + 1, j + 1, f"{v:.4f}"])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("action", choices=("best", "check", "synth", "accept"))
    ap.add_argument("table", help="the table (accept: the program's command-line executable)")
    ap.add_argument("-m", "--model", choices=MODELS)
    ap.add_argument("-g", type=int)
    ap.add_argument("-a", type=int)
    ap.add_argument("--examples", help="accept: the folder of the example tables")
    ap.add_argument("--data", help="accept: the folder of the synthetic tables")
    ap.add_argument("--workdir", help="accept: a folder for the reports and results")
    ap.add_argument("--starts", type=int, default=60)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--results")
    ap.add_argument("--report", help="a report text instead of JSON results (before them)")
    ap.add_argument("-r", type=float, default=1.0, help="replicates (with --report)")
    args = ap.parse_args()
    if args.action == "accept":
        import tempfile
        with tempfile.TemporaryDirectory() as tmp:
            failed = accept(args.table, args.examples, args.data, args.workdir or tmp,
                            args.starts if args.starts != 60 else 0)
        print(f"{failed} failure(s)")
        return 1 if failed else 0
    if args.action == "synth":
        synth(args.table, args.g, args.a, args.seed)
        return 0
    y = read_table(args.table, args.g, args.a)
    model = Model(args.model, y)
    if args.action == "best":
        th, s, all_ss = best_fit(model, args.starts, args.seed)
        print(json.dumps({"model": args.model, "best_sse": s, "theta": th.tolist(),
                          "local_minima": sorted(set(round(v, 6) for v in all_ss))[:10]}))
        return 0
    if args.report:
        variables = variables_from_report(args.report, model, args.r)[:1]
    else:
        with open(args.results) as f:
            variables = json.load(f)["variables"]
    out = [check(model, v, args.starts) for v in variables]
    print(json.dumps(out, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
