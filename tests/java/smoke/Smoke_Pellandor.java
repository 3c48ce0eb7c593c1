import java.util.List;
import zoltest.TestEnv;

public class Smoke_Pellandor implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "-agentpath:libPellandor.so, class Pellandor";
    }

    public String scenario() {
        return "one access and one modification reported";
    }

    public List<String> jvmOptions() {
        return List.of("-agentpath:" + TestEnv.library("Pellandor"));
    }

    public void run() throws Exception {
        Pellandor t = new Pellandor();
        if (!Pellandor.initWatchers(Pellandor.class, Pellandor.class.getField("x"), Thread.currentThread())) {
            throw new AssertionError("initWatchers failed");
        }
        Pellandor.startTest(t);
        t.writeX(t.readX() + 1);
        Pellandor.stopTest();
        if (!t.x_access || !t.x_modify) {
            throw new AssertionError("flags x_access " + t.x_access + ", x_modify " + t.x_modify);
        }
    }
}
