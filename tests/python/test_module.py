"""The module as imported: attributes, functions, exception types, initialisation."""

import importlib
import inspect
import shutil
import subprocess
import sys
import textwrap

import pytest

import _tessmar
from conftest import EXAMPLE_LOGS, run_python

NAMES = [
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "JsonSerializationError",
    "JsonParsingError",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
    "__version__",
    "VERSION",
]
EXCEPTION_NAMES = NAMES[:4]


def test_all_lists_the_eight_attributes_in_order():
    assert _tessmar.__all__ == NAMES
    assert type(_tessmar.__all__) is list


def test_attributes_are_added_in_order():
    own = [name for name in vars(_tessmar) if name in NAMES]
    assert own == NAMES


def test_star_import_brings_exactly_the_eight_names():
    namespace = {}
    exec("from _tessmar import *", namespace)
    namespace.pop("__builtins__")
    assert sorted(namespace) == sorted(NAMES)


def test_no_other_public_attributes():
    public = {name for name in dir(_tessmar) if not name.startswith("_")}
    assert public == {name for name in NAMES if not name.startswith("_")}


def test_version_texts():
    assert _tessmar.__version__ == "0.3.0"
    assert _tessmar.VERSION == "0.3.0"
    assert type(_tessmar.__version__) is str


def test_module_identity():
    assert _tessmar.__name__ == "_tessmar"
    assert _tessmar.__doc__ == ""


@pytest.mark.parametrize(
    "name, signature",
    [
        ("tenhou_to_mjai", "(data)"),
        ("tenhou_file_to_mjai", "(filename, mjai_out=None)"),
    ],
)
def test_functions(name, signature):
    function = getattr(_tessmar, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__name__ == name
    assert function.__qualname__ == name
    assert function.__module__ == "_tessmar"
    assert function.__self__ is _tessmar
    assert function.__doc__ is None
    assert function.__text_signature__ == signature
    assert str(inspect.signature(function)) == signature


@pytest.mark.parametrize("name", EXCEPTION_NAMES)
def test_exception_types(name):
    exc_type = getattr(_tessmar, name)
    assert isinstance(exc_type, type)
    assert exc_type.__bases__ == (ValueError,)
    assert exc_type.__module__ == "_tessmar"
    assert exc_type.__name__ == name
    assert exc_type.__qualname__ == name
    assert exc_type.__doc__ is None
    assert repr(exc_type) == f"<class '_tessmar.{name}'>"
    # No attributes or methods of their own beyond what every class gets.
    assert set(vars(exc_type)) <= {"__module__", "__doc__", "__dict__", "__weakref__"}


def test_exception_types_are_unrelated_to_each_other():
    types = [getattr(_tessmar, name) for name in EXCEPTION_NAMES]
    for a in types:
        for b in types:
            assert issubclass(a, b) == (a is b)


def test_reimport_returns_the_same_module_and_types():
    before = sys.modules.pop("_tessmar")
    try:
        again = importlib.import_module("_tessmar")
        assert again is before
        assert again.JsonParsingError is before.JsonParsingError
    finally:
        sys.modules["_tessmar"] = before


SUBINTERPRETER_CODE = textwrap.dedent(
    """
    import sys
    import _tessmar
    try:
        import _interpreters as interpreters          # 3.13
        interp = interpreters.create("legacy")
        def run(code):
            failure = interpreters.exec(interp, code)
            assert failure is None, failure
    except ImportError:
        try:
            import _xxsubinterpreters as interpreters  # 3.12
        except ImportError:
            print("no sub-interpreter support")
            sys.exit(0)
        # A legacy (shared-GIL) interpreter: single-phase modules are not refused
        # up front, so the module's own initialisation is what is tested.
        interp = interpreters.create(isolated=False)
        def run(code):
            interpreters.run_string(interp, code)
    run('''
    try:
        import _tessmar
    except ImportError as error:
        outcome = "ImportError: " + str(error)
    else:
        outcome = "imported"
    with open(OUT, "w") as f:
        f.write(outcome)
    '''.replace("OUT", repr(sys.argv[1])))
    interpreters.destroy(interp)
    print("ran")
    """
)


def test_second_interpreter_is_refused(tmp_path):
    out = tmp_path / "outcome.txt"
    result = run_python(SUBINTERPRETER_CODE, out)
    assert result.returncode == 0, result.stderr.decode()
    if result.stdout == b"no sub-interpreter support\n":
        pytest.skip("this interpreter offers no sub-interpreter module")
    outcome = out.read_text()
    assert outcome.startswith("ImportError: "), outcome
    assert "_tessmar" in outcome


@pytest.mark.parametrize("module", ["_tessmar", "tessmar._mjlog"])
def test_only_the_init_function_is_exported(module):
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run(
        [nm, "-D", "--defined-only", importlib.import_module(module).__file__],
        capture_output=True, text=True, check=True,
    ).stdout
    symbols = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    assert symbols == ["PyInit_" + module.rpartition(".")[2]]


MEMORY_ERROR_CODE = textwrap.dedent(
    """
    import os, resource, sys
    import _tessmar
    small, big_file, out = sys.argv[1], sys.argv[2], sys.argv[3]
    # Inputs whose copy into the module's own buffers cannot be allocated under the limit.
    text = "x" * (256 << 20)
    with open("/proc/self/status") as f:
        vm_kb = next(int(line.split()[1]) for line in f if line.startswith("VmSize:"))
    resource.setrlimit(resource.RLIMIT_AS, ((vm_kb << 10) + (48 << 20), resource.RLIM_INFINITY))

    def rss_kb():
        with open("/proc/self/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))

    caught = []
    for i in range(20):  # a user's loop over an archive
        if i == 2:
            before = rss_kb()
        try:
            if i % 2:
                _tessmar.tenhou_file_to_mjai(big_file, out)
            else:
                _tessmar.tenhou_to_mjai(text)
        except Exception as error:
            caught.append(type(error).__name__)
    print(*sorted(set(caught)), len(caught))
    print("grew", rss_kb() - before < 4096)
    print("output", os.path.exists(out))
    print("still converts", len(_tessmar.tenhou_to_mjai(open(small, encoding="utf-8").read())) > 2)
    """
)


def test_allocation_failure_is_a_memory_error_that_leaks_nothing(tmp_path):
    # Under an address-space limit, a log too large for the memory left fails with the
    # interpreter's MemoryError, which `except Exception` catches; the loop goes on, memory
    # does not grow, no output file appears, and the module still converts afterwards.
    big_file = tmp_path / "big.json"
    with open(big_file, "wb") as f:
        f.truncate(96 << 20)  # sparse: costs no disk
    result = run_python(MEMORY_ERROR_CODE, EXAMPLE_LOGS[0], big_file, tmp_path / "out.mjson")
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout.decode().splitlines() == [
        "MemoryError 20", "grew True", "output False", "still converts True"
    ]
