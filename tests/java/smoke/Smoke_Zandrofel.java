public class Smoke_Zandrofel implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class Zandrofel";
    }

    public String scenario() {
        return "make and read a global and a weak global reference";
    }

    public void run() {
        Object o = new Object();
        if (Zandrofel.readGlobalRef() != null || Zandrofel.readWeakGlobalRef() != null) {
            throw new AssertionError("a slot is set before any make");
        }
        if (Zandrofel.makeGlobalRef(o) != o || Zandrofel.makeWeakGlobalRef(o) != o) {
            throw new AssertionError("make did not return the object");
        }
        if (Zandrofel.readGlobalRef() != o || Zandrofel.readWeakGlobalRef() != o) {
            throw new AssertionError("read did not return the object");
        }
    }
}
