import zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine;

public class Smoke_ulmapine implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine";
    }

    public String scenario() {
        return "thread marked and spinning in native";
    }

    public void run() throws Exception {
        ulmapine object = new ulmapine();
        // A daemon, so that the JVM ends around it when the scenario is done.
        Thread spinner = new Thread(() -> object.nativeMethod(object));
        spinner.setDaemon(true);
        spinner.start();
        for (int i = 0; i < 1000 && !object.threadInNative; i++) {
            Thread.sleep(10);
        }
        Thread.sleep(100);
        if (!object.threadInNative || !spinner.isAlive()) {
            throw new AssertionError("in native " + object.threadInNative + ", alive " + spinner.isAlive());
        }
    }
}
