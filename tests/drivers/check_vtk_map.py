# Reads a run's cell_maps.vtk with meshio (an independent VTK reader) and
# checks it against the run's plain-text map files, value for value:
# geometry in metres, cells numbered j fastest, each array against its file.
# Usage: check_vtk_map.py RUN_DIR NX NY H PROGRAM   (prints "ok" or the first fault)
import os, sys
import meshio, numpy as np

run, nx, ny, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
mesh = meshio.read(os.path.join(run, "cell_maps.vtk"))
data = {name: np.ravel(v[0]) for name, v in mesh.cell_data.items()}
tag = "p33" if sys.argv[5] == "pwave_upscale" else "p55"

quads = mesh.cells[0].data
if mesh.cells[0].type != "quad" or len(quads) != nx * ny:
    sys.exit(f"expected {nx * ny} quads, got {len(quads)} {mesh.cells[0].type}")
for c, (j, k) in enumerate((j, k) for k in range(1, ny + 1) for j in range(1, nx + 1)):
    corners = mesh.points[quads[c]][:, :2]
    x, y = corners[:, 0], corners[:, 1]  # counter-clockwise: the shoelace area is +h^2 (a bow-tie has none)
    if not np.isclose(0.5 * np.sum(x * np.roll(y, -1) - np.roll(x, -1) * y), h * h, rtol=1e-12, atol=0):
        sys.exit(f"cell {j},{k}: corners {corners.tolist()} not in turn counter-clockwise")
    lo, hi = corners.min(axis=0), corners.max(axis=0)
    if not (np.allclose(lo, [(j - 1) * h, (k - 1) * h], rtol=0, atol=1e-12 * h * nx)
            and np.allclose(hi, [j * h, k * h], rtol=0, atol=1e-12 * h * nx)):
        sys.exit(f"cell {j},{k} spans {lo}..{hi}")

def grid_of(name, shift=0):
    """A 'j k value' map file as an (ny, nx) array, NaN where it has no line."""
    g = np.full((ny, nx), np.nan)
    for j, k, v in np.loadtxt(os.path.join(run, name), ndmin=2):
        g[int(k) - 1 + shift, int(j) - 1 + shift] = v
    return g.ravel()

expected = {
    "material_number": np.loadtxt(os.path.join(run, "matnum_p33"), ndmin=1),
    "stress_re_Pa": grid_of("real_stress_map"), "stress_im_Pa": grid_of("imag_stress_map"),
    "strain1_re_m_per_m": grid_of("real_strain1_map"), "strain1_im_m_per_m": grid_of("imag_strain1_map"),
    "strain3_re_m_per_m": grid_of("real_strain3_map"), "strain3_im_m_per_m": grid_of("imag_strain3_map"),
    "pressure_abs_Pa": grid_of(f"mod_pressure_{tag}_ice"),
    "pressure_gradient_abs_Pa_per_m": grid_of(f"mod_grad_pressure_{tag}_ice", shift=1),
}
for field, file in [("lambda1", "xlambda1"), ("lambda3", "xlambda3"), ("mu1", "xmu1"), ("mu3", "xmu3"),
                    ("mu13", "xmu13"), ("b1", "b1"), ("b2", "b2"), ("m", "xm"), ("d3", "d3")]:
    expected[field + "_Pa"] = grid_of(file + "_gnu")
for name, want in expected.items():
    got = data.get(name)
    if got is None or not np.array_equal(got, want, equal_nan=True):
        sys.exit(f"{name}: VTK {None if got is None else got[:4]} ... against the map file {want[:4]} ...")
phiw = data.get("water_proportion_m3_per_m3")
frac = os.path.join(run, "porosity.frac")
if os.path.exists(frac) and not np.array_equal(phiw, np.loadtxt(frac, ndmin=1)):
    sys.exit(f"water proportions {phiw[:4]} ... are not those of porosity.frac")
if phiw is None or not ((phiw > 0) & (phiw < 1)).all():
    sys.exit("water proportions missing or outside (0, 1)")
extra = set(data) - set(expected) - {"water_proportion_m3_per_m3"}
if extra:
    sys.exit(f"arrays without a check: {sorted(extra)}")
print("ok")
